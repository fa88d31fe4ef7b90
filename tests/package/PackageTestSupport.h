#pragma once

#include <memory>
#include <string>
#include <vector>

#include "RecordingPackageView.h"
#include "TempDir.h"
#include "UserStoreFile.h"
#include "package/PackageLoader.h"

namespace gf::test {

// A package loader in a temporary current directory, with a recording view
// and a per-user store file of its own. Package directories are made under
// the temporary directory.
struct PackageFixture {
    ScopedTempCwd cwd;
    RecordingPackageView view;
    UserStoreFile store{cwd.path() + "/config/gangflash/registry.ini"};
    std::unique_ptr<CPackageLoader> loader = std::make_unique<CPackageLoader>(view, view, &store);

    // "<cwd>/<name>/"
    std::string Dir(const std::string& name) const { return cwd.path() + "/" + name + "/"; }
    // Creates (empty) files under `dir`; names may hold subdirectories.
    static void Touch(const std::string& dir, const std::vector<std::string>& names) {
        for (const auto& n : names) WriteFile(dir + n, "x");
    }
    // A package directory with patch0.xml, a programmer image and a
    // rawprogram0.xml whose root holds `body`; returns the rawprogram path.
    std::string MakePackage(const std::string& name, const std::string& body,
                            const std::vector<std::string>& images = {}) {
        const std::string dir = Dir(name);
        Touch(dir, {"patch0.xml", "prog_emmc_firehose_8909_ddr.mbn"});
        Touch(dir, images);
        WriteFile(dir + "rawprogram0.xml",
                  "<?xml version=\"1.0\" ?>\n<data>\n" + body + "</data>\n");
        return dir + "rawprogram0.xml";
    }
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& b : view.Boxes()) texts.push_back(b.text);
        return texts;
    }
};

}  // namespace gf::test
