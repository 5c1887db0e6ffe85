// A Qt platform plugin in name only ("xcb", "offscreen"), for the rights cases: loading it
// writes the file named by ZELFIN_PLUGIN_MARKER, so a case sees whether a program ran code from
// a folder its caller chose. Qt then fails to start on it, which ends the program.
#include <QObject>
#include <QtPlugin>

#include <cstdio>
#include <cstdlib>

namespace {

[[maybe_unused]] const bool kMarked = [] {
    const char* path = std::getenv("ZELFIN_PLUGIN_MARKER");
    std::FILE* marker = path != nullptr ? std::fopen(path, "w") : nullptr;
    if (marker != nullptr) {
        std::fputs("loaded\n", marker);
        std::fclose(marker);
    }
    return marker != nullptr;
}();

} // namespace

class MarkerPlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE
                          "MarkerPlugin.json")
};

#include "MarkerPlugin.moc"
