#pragma once
// What zlv-render does: the arguments of zlv render (argv[0] is the program's
// name), the same exit statuses.

int renderWindowPicture(int argc, char** argv);
