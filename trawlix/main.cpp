// Trawlix, the search-and-grab program.
#include "trawlix/startup.h"

int main(int argc, char **argv)
{
    return trawlix::ProgramEntry(argc, argv);
}
