// The unfilled program template: links the embedded package block and prints what it decodes,
// so a packed copy shows whether the program reads its packed bytes.
#include "package/EmbeddedPackage.h"
#include "package/Package.h"
#include "tools/PackageReport.h"

#include <iostream>

int main() {
    const zelfin::Package package(zelfin::embeddedPackage());
    zelfin::pack::printPackage(std::cout, package);
    return 0;
}
