// The pages of a PDF file as its page objects declare them, for tests that check printed output:
// each page's media box in points, in file order.
#pragma once

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace platform::print::testing {

struct PdfPage {
    double width = 0;
    double height = 0;
    bool landscape() const { return width > height; }
};

inline std::vector<PdfPage> pdfPages(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string all = s.str();
    // Page objects ("/Type /Page" not followed by "s") carry their media box.
    static const std::regex page(
        R"(/Type\s*/Page(?!s)[^>]*?/MediaBox\s*\[\s*([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s*\])");
    std::vector<PdfPage> pages;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), page); it != std::sregex_iterator();
         ++it) {
        const auto& m = *it;
        pages.push_back({std::stod(m[3]) - std::stod(m[1]), std::stod(m[4]) - std::stod(m[2])});
    }
    return pages;
}

}  // namespace platform::print::testing
