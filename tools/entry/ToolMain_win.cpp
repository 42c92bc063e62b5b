#include "tools/entry/ToolMain.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    return ombrelta::ToolMain(arguments);
}
