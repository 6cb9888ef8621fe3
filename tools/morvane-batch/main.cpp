#include "BatchMain.h"

int main(int argc, char* argv[])
{
    return BatchMain(argc, argv);
}
