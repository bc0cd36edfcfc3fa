#include "platform/process.h"
#include "server/entry.h"

int main(int argc, char** argv) { return platform::Process_RunWideMain(argc, argv, wmain); }
