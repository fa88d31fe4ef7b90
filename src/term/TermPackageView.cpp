#include "TermPackageView.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "platform/View.h"

namespace gf {

int TermPackageView::InsertColumns(const std::vector<std::string>& captions,
                                   const std::vector<std::uint8_t>& percentages) {
    if (captions.empty() || captions.size() != percentages.size()) return 1;
    m_columns = captions.size();
    return 0;
}

int TermPackageView::AddRow(const std::vector<std::string>& texts) {
    if (m_columns == 0 || texts.size() != m_columns) return -1;
    m_rows.push_back(texts);
    if (!m_interactive) {
        m_out << "package file:";
        for (const auto& t : texts) m_out << " " << t;
        m_out << "\n";
    }
    return static_cast<int>(m_rows.size()) - 1;
}

int TermPackageView::DeleteAllRows() {
    m_rows.clear();
    return 1;
}

std::optional<std::string> TermPackageView::ChooseFileToOpen(const std::vector<FileFilter>&) {
    auto chosen = m_chosen;
    m_chosen.reset();
    return chosen;
}

PasswordReply TermPackageView::RunPasswordPrompt() {
    // The environment's password is offered once: a wrong one must not loop.
    if (const char* env = std::getenv("GANGFLASH_PASSWORD"); env != nullptr && !m_envUsed) {
        m_envUsed = true;
        m_password = env;
        return {IDOK, m_password};
    }
    if (!::isatty(STDIN_FILENO)) return {IDCANCEL, m_password};
    std::cerr << "PassWord: " << std::flush;
    termios saved{};
    bool restore = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ICANON;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    bool ok = static_cast<bool>(std::getline(std::cin, line));
    if (restore) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::cerr << "\n";
    if (!ok) return {IDCANCEL, m_password};
    m_password = line;
    return {IDOK, m_password};
}

}  // namespace gf
