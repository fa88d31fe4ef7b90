#include "package/RawProgramFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>

namespace gf {

namespace {

// Rawprogram files are a few megabytes at most; refuse anything absurd rather
// than reading it into memory.
constexpr std::streamoff kMaxFileSize = 256LL * 1024 * 1024;

// Line and column (1-based) of byte offsets into a text, asked in rising
// order so that a file with thousands of entries is scanned once.
class LineCounter {
public:
    explicit LineCounter(const std::string& text) : m_text(text) {}
    void AdvanceTo(std::ptrdiff_t offset) {
        const std::size_t end = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)), m_text.size());
        for (; m_at < end; ++m_at) {
            if (m_text[m_at] == '\n') {
                ++m_line;
                m_column = 1;
            } else {
                ++m_column;
            }
        }
    }
    int Line() const { return m_line; }
    int Column() const { return m_column; }

private:
    const std::string& m_text;
    std::size_t m_at = 0;
    int m_line = 1;
    int m_column = 1;
};

// Offsets reported by the parser count in UTF-8 units; they match the file's
// bytes only when the file was UTF-8 (or plain ASCII) already.
bool OffsetsMatchBytes(pugi::xml_encoding encoding) {
    return encoding == pugi::encoding_utf8;
}

}  // namespace

RawProgramRead ReadRawProgramFile(const std::string& path) {
    RawProgramRead read;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        read.error = "it is a directory";
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        read.error = std::string("cannot open the file: ") + std::strerror(errno);
        return read;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        read.error = "cannot read the file";
        return read;
    }
    if (size > kMaxFileSize) {
        read.error = "the file is too large (" + std::to_string(size) + " bytes)";
        return read;
    }
    in.seekg(0, std::ios::beg);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(text.data(), size)) {
        read.error = "cannot read the file";
        return read;
    }

    pugi::xml_document doc;
    const pugi::xml_parse_result result =
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
    const bool byteOffsets = OffsetsMatchBytes(result.encoding);
    if (!result) {
        read.error = result.description();
        if (byteOffsets) {
            LineCounter pos(text);
            pos.AdvanceTo(result.offset);
            read.error += " at line " + std::to_string(pos.Line()) + ", column " +
                          std::to_string(pos.Column());
        } else {
            read.error += " at offset " + std::to_string(result.offset);
        }
        return read;
    }
    const pugi::xml_node root = doc.document_element();
    if (!root) {
        read.error = "no root element";
        return read;
    }
    LineCounter lines(text);
    for (const pugi::xml_node node : root.children()) {
        if (node.type() != pugi::node_element || node.name()[0] != 'p') continue;
        RawProgramEntry entry;
        entry.element = node.name();
        if (const pugi::xml_attribute a = node.attribute("filename")) entry.filename = a.value();
        entry.label = node.attribute("label").value();
        const std::ptrdiff_t offset = node.offset_debug();
        if (byteOffsets && offset >= 0) {
            lines.AdvanceTo(offset);
            entry.line = lines.Line();
        }
        read.entries.push_back(std::move(entry));
    }
    read.ok = true;
    return read;
}

}  // namespace gf
