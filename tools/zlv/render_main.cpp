// zlv-render: the window side of zlv render, kept apart so that zlv links no Qt.

#include "tools/zlv/verb_render.h"

int main(int argc, char** argv) {
    return renderWindowPicture(argc, argv);
}
