#pragma once

#include "platform/remote/SftpCodes.h"

#include <string>

namespace tandrel::platform::remote {

// The outcome of one remote request: the server's status code and its text
// (or, when the request never got an answer, why: the connection was lost,
// the reply made no sense). Only `NoSuchFile` means that something is not
// there; permission and I/O errors are errors.
struct RemoteStatus {
    enum class Kind {
        Ok,
        Server,     // the server answered with a status other than OK
        Connection, // no answer: the connection is gone (text: ssh's reason)
        Protocol,   // an answer that breaks the protocol
    };

    Kind kind = Kind::Ok;
    sftp::StatusCode code = sftp::StatusCode::Ok;
    std::string text;

    bool ok() const { return kind == Kind::Ok; }
    bool Absent() const { return kind == Kind::Server && code == sftp::StatusCode::NoSuchFile; }
    bool EndOfData() const { return kind == Kind::Server && code == sftp::StatusCode::Eof; }

    static RemoteStatus Success() { return {}; }
    // The server's text, or the usual words for the code when it gave none.
    static RemoteStatus FromServer(sftp::StatusCode code, std::string serverText);
    static RemoteStatus ConnectionFailure(std::string reason);
    static RemoteStatus ProtocolFailure(std::string what);

    // "<what> '<path>': <text>", as file errors read elsewhere in the program.
    std::string Describe(const std::string& what, const std::string& path) const;
};

// The usual words for a status code ("No such file", "Permission denied" ...).
const char* StatusCodeText(sftp::StatusCode code);

} // namespace tandrel::platform::remote
