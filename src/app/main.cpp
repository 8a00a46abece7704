#include <cstdio>

#include "base/strings.h"

int main() {
    std::printf("%s\n", zeltrak::kProgramTitle);
    return 0;
}
