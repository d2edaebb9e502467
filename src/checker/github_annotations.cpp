#include "checker/github_annotations.h"

#include "common/utf8.h"

namespace dllscope {

std::string EscapeCommandData(const std::string& utf8) {
    std::string out;
    for (const char c : utf8) {
        if (c == '%')
            out += "%25";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

std::string EscapeCommandProperty(const std::string& utf8) {
    std::string out;
    for (const char c : EscapeCommandData(utf8)) {
        if (c == ':')
            out += "%3A";
        else if (c == ',')
            out += "%2C";
        else
            out += c;
    }
    return out;
}

std::string GithubAnnotations(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings) {
        out += f.error ? "::error " : "::warning ";
        if (!f.file.empty() && f.line > 0) {
            out += "file=" + EscapeCommandProperty(ToUtf8(f.file)) +
                   ",line=" + std::to_string(f.line) + ",";
        }
        out += "title=" + EscapeCommandProperty(ToUtf8(f.title)) +
               "::" + EscapeCommandData(ToUtf8(f.message)) + "\n";
    }
    return out;
}

}  // namespace dllscope
