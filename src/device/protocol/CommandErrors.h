#pragma once

#include <QString>

// The two error tables of the device firmware: the texts for the status byte of an
// RPC answer and for the status byte of a plain three-byte answer. Both are built
// once for the whole process.
class CommandErrors
{
public:
    // The table's text for the status, or a null string when the table has none.
    static QString rpcText(int status);
    static QString plainText(int status);

    // Texts that the commands use outside the tables.
    static QString responseTooShort();
    static QString responseTooLong();
};
