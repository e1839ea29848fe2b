#include "header_info.h"

#include "http_text.h"
#include "text_to_int.h"

namespace {

void AddLine(std::vector<std::string>& lines, std::string_view name, const std::string& value) {
    if (!value.empty())
        lines.push_back(std::string(name) + ": " + value);
}

std::string RangeValue(int32_t start, int32_t end) {
    std::string range = "bytes=" + std::to_string(start) + "-";
    if (end > 0)
        range += std::to_string(end);
    return range;
}

// "bytes 0-99/200" -> 0 and 99; a part that is not a number gives 0.
void ReadContentRange(std::string_view value, int32_t& start, int32_t& end) {
    constexpr std::string_view kUnit = "bytes";
    if (value.size() >= kUnit.size() && SameText(value.substr(0, kUnit.size()), kUnit))
        value.remove_prefix(kUnit.size());
    value = TrimBlanks(value);
    value = value.substr(0, value.find('/'));
    const size_t dash = value.find('-');
    start = StrToIntDef(value.substr(0, dash), 0);
    end = dash == std::string_view::npos ? 0 : StrToIntDef(value.substr(dash + 1), 0);
}

} // namespace

void THeaderInfo::Clear() {
    *this = THeaderInfo();
    Accept.clear();
    UserAgent.clear();
}

std::vector<std::string> THeaderInfo::RequestLines() const {
    std::vector<std::string> lines;
    AddLine(lines, "Accept", Accept);
    AddLine(lines, "Accept-Charset", AcceptCharSet);
    AddLine(lines, "Accept-Encoding", AcceptEncoding);
    AddLine(lines, "Accept-Language", AcceptLanguage);
    AddLine(lines, "From", From);
    AddLine(lines, "Referer", Referer);
    AddLine(lines, "User-Agent", UserAgent);
    AddLine(lines, "Connection", Connection);
    AddLine(lines, "Content-Version", ContentVersion);
    AddLine(lines, "Content-Encoding", ContentEncoding);
    AddLine(lines, "Content-Language", ContentLanguage);
    AddLine(lines, "Content-Type", ContentType);
    if (ContentRangeStart > 0 || ContentRangeEnd > 0)
        AddLine(lines, "Range", RangeValue(ContentRangeStart, ContentRangeEnd));
    if (!Username.empty())
        AddLine(lines, "Authorization", "Basic " + Base64Encode(Username + ":" + Password));
    lines.insert(lines.end(), ExtraHeaders.begin(), ExtraHeaders.end());
    return lines;
}

void THeaderInfo::SetReplyHeader(std::string_view name, std::string_view value) {
    const struct {
        std::string_view name;
        std::string THeaderInfo::*field;
    } textFields[] = {
        {"Location", &THeaderInfo::Location},
        {"Server", &THeaderInfo::Server},
        {"Connection", &THeaderInfo::Connection},
        {"Content-Version", &THeaderInfo::ContentVersion},
        {"WWW-Authenticate", &THeaderInfo::WWWAuthenticate},
        {"Content-Encoding", &THeaderInfo::ContentEncoding},
        {"Content-Language", &THeaderInfo::ContentLanguage},
        {"Content-Type", &THeaderInfo::ContentType},
        {"Date", &THeaderInfo::Date},
        {"Last-Modified", &THeaderInfo::LastModified},
        {"Expires", &THeaderInfo::Expires},
        {"Proxy-Authenticate", &THeaderInfo::ProxyAuthenticate},
    };
    for (const auto& f : textFields) {
        if (SameText(name, f.name)) {
            this->*f.field = std::string(value);
            return;
        }
    }
    if (SameText(name, "Content-Length"))
        ContentLength = StrToIntDef(value, 0);
    else if (SameText(name, "Content-Range"))
        ReadContentRange(value, ContentRangeStart, ContentRangeEnd);
    else
        ExtraHeaders.push_back(std::string(name) + ": " + std::string(value));
}

std::string THeaderInfo::ExtraHeader(std::string_view name) const {
    for (const std::string& line : ExtraHeaders) {
        const std::string_view view = line;
        const size_t colon = view.find(':');
        if (colon != std::string_view::npos && SameText(TrimBlanks(view.substr(0, colon)), name))
            return std::string(TrimBlanks(view.substr(colon + 1)));
    }
    return {};
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t left = bytes.size() - at;
        uint32_t group = static_cast<uint8_t>(bytes[at]) << 16;
        if (left > 1)
            group |= static_cast<uint8_t>(bytes[at + 1]) << 8;
        if (left > 2)
            group |= static_cast<uint8_t>(bytes[at + 2]);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return out;
}
