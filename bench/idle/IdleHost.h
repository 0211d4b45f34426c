#pragma once

// The application's device side without a window: a devices manager that tracks
// the attached devices, with the application's log handler (lines to standard
// error), until SIGTERM or SIGINT. The window runs the same manager once its
// user has logged in or chosen the express page, and adds only the repainting
// of rows that change; an idle discovery tick changes none.
class IdleHost
{
public:
    static int run(int argc, char *argv[]);
};
