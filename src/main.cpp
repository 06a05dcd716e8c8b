// Vessolin: the application's entry.
#include "vessolin/startup.h"

int main(int argc, char** argv)
{
    return RunVessolin(argc, argv);
}
