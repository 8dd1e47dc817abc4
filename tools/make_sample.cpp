// Writes the project's sample map to the path given: tools/make_sample samples/Sample.Map.Gbx
#include <cstdio>

#include "map_builder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_sample OUTPUT\n");
        return 2;
    }
    if (!WriteFile(argv[1], SampleMap())) {
        fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
