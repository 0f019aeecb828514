// check-driver FILE [OUT]: the image check alone in a process of its own, for timing
// against other whole-process converters when the full program is not at hand.
#include <cstdio>

#include "image/image_check.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: check-driver FILE [OUT]\n");
    return 2;
  }
  return RunImageCheck(argv[1], argc == 3 ? argv[2] : nullptr, stdout);
}
