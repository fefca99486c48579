#include "platform/remote/SideAddress.h"

#include <cctype>

namespace tandrel::platform::remote {
namespace {

constexpr std::string_view kScheme = "sftp://";
// ssh would take such a name for one of its options.
constexpr const char* kDashedHost = "a host or user name cannot begin with '-'";

bool StartsWithScheme(std::string_view text)
{
    if (text.size() < kScheme.size())
        return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != kScheme[i])
            return false;
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// %XX escapes decoded; a '%' that starts no escape stays as it is.
std::string PercentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Escapes what a URL path or user name cannot hold as it is; `keep` lists
// the punctuation that stays.
std::string PercentEncoded(std::string_view text, std::string_view keep)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            out += c;
        } else if (keep.find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xf];
        }
    }
    return out;
}

bool ParsePort(std::string_view digits, int& port)
{
    if (digits.empty() || digits.size() > 5)
        return false;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

bool IsDriveLetterPath(std::string_view text)
{
    return text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0])) &&
           static_cast<unsigned char>(text[0]) < 0x80;
}

// In the scp form, an IPv6 address and a one-letter host (which would read
// as a drive letter) go in brackets.
std::string Bracketed(const std::string& host)
{
    return host.find(':') == std::string::npos && !IsDriveLetterPath(host + ":") ? host : "[" + host + "]";
}

} // namespace

SideAddress SideAddress::Remote(std::string user, std::string host, int port, std::string path)
{
    SideAddress side;
    side.m_form = Form::Url;
    side.m_user = std::move(user);
    side.m_host = std::move(host);
    side.m_port = port;
    side.m_path = std::move(path);
    side.m_text = side.ToText();
    return side;
}

SideAddress SideAddress::Parse(std::string_view typed)
{
    SideAddress side;
    side.m_text = std::string(typed);
    side.m_path = side.m_text;
    if (StartsWithScheme(typed)) {
        side.m_form = Form::Url;
        const std::string_view rest = typed.substr(kScheme.size());
        const std::size_t slash = rest.find('/');
        const std::string_view authority = rest.substr(0, slash);
        side.m_path = slash == std::string_view::npos ? std::string() : PercentDecoded(rest.substr(slash));
        std::string_view hostPort = authority;
        const std::size_t at = authority.rfind('@');
        if (at != std::string_view::npos) {
            // A password in the URL is not taken: ssh asks for it itself.
            const std::string_view userInfo = authority.substr(0, at);
            if (userInfo.find(':') != std::string_view::npos)
                side.m_error = "a password cannot be given in the folder's text; ssh asks for it";
            side.m_user = PercentDecoded(userInfo);
            hostPort = authority.substr(at + 1);
        }
        std::string_view portText;
        bool hasPort = false;
        if (!hostPort.empty() && hostPort.front() == '[') {
            const std::size_t close = hostPort.find(']');
            if (close == std::string_view::npos) {
                side.m_error = "the host's address lacks its closing ']'";
                return side;
            }
            side.m_host = std::string(hostPort.substr(1, close - 1));
            const std::string_view after = hostPort.substr(close + 1);
            if (!after.empty()) {
                if (after.front() != ':') {
                    side.m_error = "unexpected text after the host's address";
                    return side;
                }
                hasPort = true;
                portText = after.substr(1);
            }
        } else {
            const std::size_t colon = hostPort.find(':');
            side.m_host = PercentDecoded(hostPort.substr(0, colon));
            if (colon != std::string_view::npos) {
                hasPort = true;
                portText = hostPort.substr(colon + 1);
            }
        }
        if (side.m_error.empty() && side.m_host.empty())
            side.m_error = "no host is named";
        if (side.m_error.empty() && side.m_host.front() == '-')
            side.m_error = kDashedHost;
        if (side.m_error.empty() && hasPort && !ParsePort(portText, side.m_port))
            side.m_error = "'" + std::string(portText) + "' is not a port number";
        if (side.m_error.empty() &&
            (side.m_path.find('\0') != std::string::npos || side.m_user.find('\0') != std::string::npos))
            side.m_error = "the text holds a NUL character";
        return side;
    }

    // The scp form: remote when a ':' comes before any separator, the host is
    // not empty and is no drive letter.
    if (IsDriveLetterPath(typed))
        return side;
    std::size_t colon = std::string_view::npos;
    std::size_t hostStart = 0;
    const std::size_t at = typed.substr(0, typed.find_first_of(":/\\[")).rfind('@');
    if (at == 0)
        return side; // "@host:path" names no user: a local name
    if (at != std::string_view::npos)
        hostStart = at + 1;
    if (hostStart < typed.size() && typed[hostStart] == '[') {
        const std::size_t close = typed.find(']', hostStart);
        if (close == std::string_view::npos || close + 1 >= typed.size() || typed[close + 1] != ':')
            return side;
        if (typed.substr(hostStart + 1, close - hostStart - 1).find_first_of("/\\[@") != std::string_view::npos)
            return side;
        colon = close + 1;
        side.m_host = std::string(typed.substr(hostStart + 1, close - hostStart - 1));
    } else {
        const std::size_t first = typed.find_first_of(":/\\", hostStart);
        if (first == std::string_view::npos || typed[first] != ':')
            return side;
        colon = first;
        side.m_host = std::string(typed.substr(hostStart, colon - hostStart));
    }
    if (side.m_host.empty())
        return side;
    side.m_form = Form::HostPath;
    if (at != std::string_view::npos)
        side.m_user = std::string(typed.substr(0, at));
    side.m_path = std::string(typed.substr(colon + 1));
    if (side.m_host.front() == '-' || (!side.m_user.empty() && side.m_user.front() == '-'))
        side.m_error = kDashedHost;
    return side;
}

std::string SideAddress::ToText() const
{
    switch (m_form) {
    case Form::Local:
        return m_path;
    case Form::HostPath: {
        std::string text = m_user.empty() ? std::string() : m_user + "@";
        return text + Bracketed(m_host) + ":" + m_path;
    }
    case Form::Url:
        break;
    }
    std::string text(kScheme);
    if (!m_user.empty())
        text += PercentEncoded(m_user, "-._~!$&'()*+,;=") + "@";
    text += m_host.find(':') == std::string::npos ? PercentEncoded(m_host, "-._~!$&'()*+,;=") : "[" + m_host + "]";
    if (m_port != 0)
        text += ":" + std::to_string(m_port);
    text += PercentEncoded(m_path, "-._~!$&'()*+,;=:@/");
    return text;
}

} // namespace tandrel::platform::remote
