#include "tools/entry/ToolMain.h"

#include "common/Text.h"

int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(ombrelta::Utf8ToWide(argv[i]));
    return ombrelta::ToolMain(arguments);
}
