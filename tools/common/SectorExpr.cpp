#include "SectorExpr.h"

#include <cctype>
#include <limits>

namespace gf::edl {

namespace {

__extension__ typedef __int128 Wide;

// Recursive-descent evaluator over 128-bit signed intermediates, so that
// "NUM_DISK_SECTORS-33." cannot wrap around silently.
class Parser {
public:
    Parser(const std::string& text, const SectorExprContext& context)
        : m_text(text), m_context(context) {}

    bool Run(uint64_t& value, std::string& error) {
        Wide v = 0;
        if (!Expr(v)) {
            error = m_error;
            return false;
        }
        SkipBlanks();
        if (m_pos != m_text.size()) {
            error = "unexpected '" + m_text.substr(m_pos) + "' in expression '" + m_text + "'";
            return false;
        }
        if (v < 0 || v > static_cast<Wide>(std::numeric_limits<uint64_t>::max())) {
            error = "expression '" + m_text + "' is out of range";
            return false;
        }
        value = static_cast<uint64_t>(v);
        return true;
    }

private:
    static constexpr Wide kLimit = static_cast<Wide>(1) << 80;

    void SkipBlanks() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool Fail(const std::string& what) {
        if (m_error.empty()) m_error = what + " in expression '" + m_text + "'";
        return false;
    }
    bool Accept(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool InRange(Wide v) { return v > -kLimit && v < kLimit ? true : Fail("overflow"); }

    bool Expr(Wide& v) {
        if (!Term(v)) return false;
        for (;;) {
            if (Accept('+')) {
                Wide r;
                if (!Term(r)) return false;
                v += r;
            } else if (Accept('-')) {
                Wide r;
                if (!Term(r)) return false;
                v -= r;
            } else {
                return InRange(v);
            }
            if (!InRange(v)) return false;
        }
    }

    bool Term(Wide& v) {
        if (!Factor(v)) return false;
        for (;;) {
            if (Accept('*')) {
                Wide r;
                if (!Factor(r)) return false;
                v *= r;
            } else if (Accept('/')) {
                Wide r;
                if (!Factor(r)) return false;
                if (r == 0) return Fail("division by zero");
                v /= r;
            } else {
                return true;
            }
            if (!InRange(v)) return false;
        }
    }

    bool Factor(Wide& v) {
        SkipBlanks();
        if (m_pos >= m_text.size()) return Fail("missing operand");
        char c = m_text[m_pos];
        if (c == '(') {
            ++m_pos;
            if (!Expr(v)) return false;
            return Accept(')') ? true : Fail("missing ')'");
        }
        if (c == '-') {
            ++m_pos;
            if (!Factor(v)) return false;
            v = -v;
            return true;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) return Number(v);
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return Name(v);
        return Fail(std::string("unexpected '") + c + "'");
    }

    bool Number(Wide& v) {
        v = 0;
        if (m_text.compare(m_pos, 2, "0x") == 0 || m_text.compare(m_pos, 2, "0X") == 0) {
            m_pos += 2;
            std::size_t start = m_pos;
            while (m_pos < m_text.size() &&
                   std::isxdigit(static_cast<unsigned char>(m_text[m_pos]))) {
                char d =
                    static_cast<char>(std::tolower(static_cast<unsigned char>(m_text[m_pos++])));
                v = v * 16 + (d <= '9' ? d - '0' : d - 'a' + 10);
                if (!InRange(v)) return false;
            }
            return m_pos > start ? true : Fail("bad hex number");
        }
        while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) {
            v = v * 10 + (m_text[m_pos++] - '0');
            if (!InRange(v)) return false;
        }
        if (m_pos < m_text.size() && m_text[m_pos] == '.') ++m_pos;  // decimal marker
        return true;
    }

    bool Name(Wide& v) {
        std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
            ++m_pos;
        std::string name = m_text.substr(start, m_pos - start);
        if (name == "NUM_DISK_SECTORS") {
            if (!m_context.hasDiskSectors) return Fail("NUM_DISK_SECTORS is not known");
            v = static_cast<Wide>(m_context.numDiskSectors);
            return true;
        }
        if (name == "CRC32") {
            Wide sector = 0, bytes = 0;
            if (!Accept('(') || !Expr(sector) || !Accept(',') || !Expr(bytes) || !Accept(')'))
                return Fail("bad CRC32(sector,bytes)");
            if (sector < 0 || bytes < 0) return Fail("negative CRC32 range");
            if (!m_context.crc32) return Fail("CRC32 cannot be computed here");
            uint32_t crc = 0;
            std::string error;
            if (!m_context.crc32(static_cast<uint64_t>(sector), static_cast<uint64_t>(bytes), crc,
                                 error))
                return Fail(error);
            v = crc;
            return true;
        }
        return Fail("unknown name '" + name + "'");
    }

    const std::string& m_text;
    const SectorExprContext& m_context;
    std::size_t m_pos = 0;
    std::string m_error;
};

}  // namespace

bool EvaluateSectorExpr(const std::string& text, const SectorExprContext& context, uint64_t& value,
                        std::string& error) {
    Parser parser(text, context);
    return parser.Run(value, error);
}

bool ExprNeedsDiskSize(const std::string& text) {
    return text.find("NUM_DISK_SECTORS") != std::string::npos;
}

}  // namespace gf::edl
