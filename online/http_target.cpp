#include "http_target.h"

#include "http_errors.h"
#include "text_to_int.h"

#include <algorithm>

namespace {

constexpr std::string_view kSchemeMark = "://";

void SplitHostAndPort(const std::string& authority, THttpTarget& target) {
    const size_t colon = authority.find(':');
    target.Host = authority.substr(0, colon);
    if (colon == std::string::npos)
        return;
    const std::string portText = authority.substr(colon + 1);
    const std::optional<int32_t> port = TryStrToInt(portText);
    if (!port)
        throw EConvertError(portText);
    target.Port = *port;
}

// "/a/b/c.php?x#y" -> path "/a/b/", document "c.php?x"
void SplitPathAndDocument(const std::string& rest, THttpTarget& target) {
    const size_t lastSlash = rest.rfind('/');
    const size_t documentStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    target.Path = rest.substr(0, documentStart);
    if (target.Path.empty() || target.Path.front() != '/')
        target.Path.insert(0, 1, '/');
    target.Document = rest.substr(documentStart);
    target.Document = target.Document.substr(0, target.Document.find('#'));
}

} // namespace

THttpTarget SplitTarget(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    THttpTarget target;
    std::string rest = text;
    const size_t mark = text.find(kSchemeMark);
    if (mark != std::string::npos) {
        target.NamesHost = true;
        target.Protocol = text.substr(0, mark);
        const std::string afterMark = text.substr(mark + kSchemeMark.size());
        const size_t slash = afterMark.find('/');
        SplitHostAndPort(afterMark.substr(0, slash), target);
        rest = slash == std::string::npos ? std::string() : afterMark.substr(slash);
    }
    SplitPathAndDocument(rest, target);
    return target;
}
