#include "tool/commandline.h"

int main(int argc, char *argv[])
{
    return skintool::run(argc, argv);
}
