#pragma once

#include <string>
#include <string_view>

namespace tandrel::platform::remote {

// A folder as the user typed it: a local path, or a folder on an SSH host in
// one of the two forms users know, `sftp://[user@]host[:port]/path` (as file
// managers write it, with %XX escapes) and `[user@]host:path` (as scp and
// rsync take it). The text it came from is kept, so that it is shown and
// stored exactly as typed.
class SideAddress {
public:
    enum class Form { Local, Url, HostPath };

    static SideAddress Parse(std::string_view typed);
    // A remote folder in the URL form, written from its parts.
    static SideAddress Remote(std::string user, std::string host, int port, std::string path);

    bool IsRemote() const { return m_form != Form::Local; }
    Form GetForm() const { return m_form; }
    const std::string& User() const { return m_user; }   // empty: ssh's own choice
    const std::string& Host() const { return m_host; }   // without the brackets of an IPv6 address
    int Port() const { return m_port; }                   // 0: ssh's own choice
    // The folder on the host (decoded); for a local side the text as typed.
    // Relative in the scp form ("host:" and "host:dir" start in the login
    // folder), absolute in the URL form.
    const std::string& Path() const { return m_path; }
    const std::string& Text() const { return m_text; }

    // Why a text that names a remote folder cannot be used (an empty host, a
    // port that is no port); empty when it can.
    const std::string& Error() const { return m_error; }

    // The side's text in its own form, made from the parts: Parse(ToText())
    // gives the same parts, and for a text typed in that form with no
    // needless escapes, ToText() is that text.
    std::string ToText() const;

    // The same folder: the form, the parts and the error; not how it was typed.
    friend bool operator==(const SideAddress& a, const SideAddress& b)
    {
        return a.m_form == b.m_form && a.m_user == b.m_user && a.m_host == b.m_host && a.m_port == b.m_port &&
               a.m_path == b.m_path && a.m_error == b.m_error;
    }

private:
    Form m_form = Form::Local;
    std::string m_user;
    std::string m_host;
    int m_port = 0;
    std::string m_path;
    std::string m_text;
    std::string m_error;
};

} // namespace tandrel::platform::remote
