#include "app/Program.h"

int main(int argc, char** argv) { return sonari::RunProgram(argc, argv); }
