// The unfilled program template: links the embedded package block and the loader area and prints
// what it decodes, so a packed copy shows whether the program reads its packed bytes.
#include "flash/LoaderArea.h"
#include "package/EmbeddedPackage.h"
#include "package/Package.h"
#include "package/PackageSeal.h"
#include "tools/PackageReport.h"

#include <iostream>

int main() {
    const zelfin::Package package(zelfin::embeddedPackage());
    zelfin::pack::printPackage(std::cout, package);
    std::cout << "seal:           "
              << zelfin::describe(zelfin::checkSeal(zelfin::embeddedSeal(),
                                                    zelfin::embeddedPackage(), zelfin::kLoaderArea))
              << '\n';
    return 0;
}
