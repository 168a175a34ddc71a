#include "tests/controls/QtTestMain.h"

int main(int argc, char** argv) { return sonari::test::RunQtTests(argc, argv); }
