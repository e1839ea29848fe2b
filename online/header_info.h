// The header values of one HTTP request or reply.  A request's fields
// become its header lines; a reply's header lines fill the fields they
// name and leave the rest in ExtraHeaders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kDefaultAccept[] = "text/html, */*";
inline constexpr char kDefaultUserAgent[] = "Mozilla/3.0 (compatible; Zellhop)";

struct THeaderInfo {
    // Request fields, in the order in which their lines are written.
    std::string Accept = kDefaultAccept;
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string From;
    std::string Referer;
    std::string UserAgent = kDefaultUserAgent;
    std::string Connection;
    std::string ContentVersion;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    int32_t ContentLength = 0;
    int32_t ContentRangeStart = 0;
    int32_t ContentRangeEnd = 0;
    std::string Username;
    std::string Password;

    // Fields that only a reply fills.
    std::string Location;
    std::string Server;
    std::string WWWAuthenticate;
    std::string Date;
    std::string LastModified;
    std::string Expires;
    std::string ProxyAuthenticate;

    // Further lines as "Name: value", written or read as they are.
    std::vector<std::string> ExtraHeaders;

    // Every field empty or 0, the defaults of a new set included.
    void Clear();

    // The header lines of a GET, without line ends: one per field that is
    // not empty or 0, then ExtraHeaders.  A GET has no body, so no
    // Content-Length line.
    std::vector<std::string> RequestLines() const;

    // Stores one reply header line: a field it names, or ExtraHeaders.
    void SetReplyHeader(std::string_view name, std::string_view value);
    // The value of the first ExtraHeaders line with this name, or empty.
    std::string ExtraHeader(std::string_view name) const;
};

// The Base64 form of a text, as Basic authorisation sends user:password.
std::string Base64Encode(std::string_view bytes);
