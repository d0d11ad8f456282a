// teelink-make-content: builds the sample packages of the reference update
// server from their recipe. Run by the build; anyone making content of their own
// can run it on a recipe of their own.
#include <iostream>

#include "refserver/ContentRecipe.h"

namespace teelink {

int Main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "Usage: teelink-make-content RECIPE OUTPUT_DIR\n"
                     "Builds the zip archives that RECIPE (packages.tsv) lists under "
                     "OUTPUT_DIR.\n";
        return 2;
    }
    std::vector<CRecipeEntry> entries;
    std::string error;
    if (!ReadRecipe(argv[1], entries, error) || !BuildRecipe(entries, argv[2], error)) {
        std::cerr << "teelink-make-content: " << error << '\n';
        return 1;
    }
    return 0;
}

}  // namespace teelink

int main(int argc, char* argv[]) {
    return teelink::Main(argc, argv);
}
