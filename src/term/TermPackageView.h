#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "package/PackageView.h"

namespace gf {

// The package parts of the station in a terminal: the file list is printed,
// the "file-open dialog" answers with the package given on the command line,
// and the password comes from GANGFLASH_PASSWORD or is read without echo.
class TermPackageView : public IPackageView {
public:
    TermPackageView(std::ostream& out, bool interactive) : m_out(out), m_interactive(interactive) {}

    int InsertColumns(const std::vector<std::string>& captions,
                      const std::vector<std::uint8_t>& percentages) override;
    int AddRow(const std::vector<std::string>& texts) override;
    int DeleteAllRows() override;
    std::optional<std::string> ChooseFileToOpen(const std::vector<FileFilter>& filters) override;
    PasswordReply RunPasswordPrompt() override;

    // The file the next file-open dialog answers with (once).
    void SetChosenFile(const std::string& path) { m_chosen = path; }
    const std::vector<std::vector<std::string>>& Rows() const { return m_rows; }

private:
    std::ostream& m_out;
    bool m_interactive;
    std::size_t m_columns = 0;
    std::optional<std::string> m_chosen;
    bool m_envUsed = false;
    std::string m_password;  // kept across cancelled prompts, as the dialog does
    std::vector<std::vector<std::string>> m_rows;
};

}  // namespace gf
