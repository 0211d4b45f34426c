#pragma once

// The file type code shared by UrlData and ImageData. Firmware files and assets of
// an unknown format keep UndefinedType. A code is a picture when, read as
// unsigned, it is not greater than GifType, so UndefinedType never is.
enum FileType : int {
    UndefinedType = -1,
    ImageType = 0, // still picture (JPEG, JFIF, PNG)
    GifType = 1,   // animated picture
};
