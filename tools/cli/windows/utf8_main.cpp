// zorvat-cli starts here on Windows (linked with -municode): the arguments
// arrive as UTF-16 and go on as UTF-8, and the console shows UTF-8 for as
// long as the client runs, since UTF-8 is the client's text both ways.
#include <string>
#include <vector>

#include "windows_security.hpp"

namespace zvcli {
int RunCli(int argc, char** argv);
}

int wmain(int argc, wchar_t** wideArguments) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(zvcli::Narrow(wideArguments[i]));
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const UINT codePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    const int status = zvcli::RunCli(argc, argv.data());
    if (codePage != 0) SetConsoleOutputCP(codePage);
    return status;
}
