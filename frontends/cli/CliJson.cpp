#include "frontends/cli/CliJson.h"

#include "package/FieldText.h"
#include "package/JsonText.h"
#include "package/ProgramVersion.h"

#include <algorithm>
#include <string>

namespace zelfin::cli {
namespace {

std::string address(const DriveEntry& d) {
    return std::to_string(d.adapter) + "-" + std::to_string(d.pathId) + "-" +
           std::to_string(d.target) + "-" + std::to_string(d.lun);
}

// "D:" of "D:\", or a device name such as "sr0" whole.
std::string_view root(const DriveEntry& d) {
    const std::string_view whole = fieldText(d.root);
    return whole.substr(0, whole.find('\\'));
}

void writeVerdict(std::ostream& out, const Package& package, const DriveEntry& d) {
    if (d.present != 1 || d.eligible != 1) {
        out << ", \"eligible\": false, \"upToDate\": null, \"bank\": null, \"newRevision\": null";
        return;
    }
    const int bank = d.groupIndex + 1;
    out << ", \"eligible\": true, \"upToDate\": " << (d.upToDate == 1 ? "true" : "false")
        << ", \"bank\": " << bank << ", \"newRevision\": " << jsonString(package.newRevision(bank));
}

void writeResult(std::ostream& out, const std::vector<app::JobOutcome>& jobs, std::size_t index) {
    const auto job = std::find_if(jobs.begin(), jobs.end(), [&](const app::JobOutcome& j) {
        return j.drive >= 0 && static_cast<std::size_t>(j.drive) == index;
    });
    if (job == jobs.end()) {
        out << ", \"result\": null, \"reason\": null";
    } else if (job->updated) {
        out << ", \"result\": \"updated\", \"reason\": null";
    } else {
        out << ", \"result\": \"failed\", \"reason\": " << jsonString(job->reason);
    }
}

} // namespace

void writeJson(std::ostream& out, const Package& package, const std::vector<DriveEntry>& drives,
               std::string_view error, const std::optional<JsonRun>& run) {
    out << "{\n  \"program\": \"zelfin-cli\",\n  \"version\": " << jsonString(programVersion())
        << ",\n  \"mode\": " << (run ? "\"update\"" : "\"list\"");
    if (run) {
        out << ",\n  \"outcome\": " << jsonString(run->outcome);
    }
    out << ",\n  \"error\": " << (error.empty() ? std::string("null") : jsonString(error))
        << ",\n  \"drives\": [";
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const DriveEntry& d = drives[i];
        out << (i == 0 ? "" : ",") << "\n    {\"index\": " << i
            << ", \"address\": " << jsonString(address(d)) << ", \"root\": " << jsonString(root(d))
            << ", \"vendor\": " << jsonString(fieldText(d.vendorId))
            << ", \"product\": " << jsonString(fieldText(d.productId))
            << ", \"revision\": " << jsonString(fieldText(d.revision));
        writeVerdict(out, package, d);
        if (run) {
            writeResult(out, *run->jobs, i);
        }
        out << "}";
    }
    out << (drives.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

} // namespace zelfin::cli
