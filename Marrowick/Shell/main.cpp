#include "Marrowick/Shell/ProgramMain.h"

int main(int argc, char *argv[])
{
    return marrowick::runProgram(argc, argv);
}
