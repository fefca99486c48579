#include "platform/remote/RemoteStatus.h"

namespace tandrel::platform::remote {

const char* StatusCodeText(sftp::StatusCode code)
{
    using sftp::StatusCode;
    switch (code) {
    case StatusCode::Ok:
        return "Success";
    case StatusCode::Eof:
        return "End of file";
    case StatusCode::NoSuchFile:
        return "No such file";
    case StatusCode::PermissionDenied:
        return "Permission denied";
    case StatusCode::Failure:
        return "Failure";
    case StatusCode::BadMessage:
        return "Bad message";
    case StatusCode::NoConnection:
        return "No connection";
    case StatusCode::ConnectionLost:
        return "Connection lost";
    case StatusCode::OpUnsupported:
        return "Operation unsupported";
    }
    return "Unknown error";
}

RemoteStatus RemoteStatus::FromServer(sftp::StatusCode code, std::string serverText)
{
    if (code == sftp::StatusCode::Ok)
        return Success();
    RemoteStatus status;
    status.kind = Kind::Server;
    status.code = code;
    status.text = serverText.empty() ? std::string(StatusCodeText(code)) : std::move(serverText);
    return status;
}

RemoteStatus RemoteStatus::ConnectionFailure(std::string reason)
{
    RemoteStatus status;
    status.kind = Kind::Connection;
    status.code = sftp::StatusCode::ConnectionLost;
    status.text = std::move(reason);
    return status;
}

RemoteStatus RemoteStatus::ProtocolFailure(std::string what)
{
    RemoteStatus status;
    status.kind = Kind::Protocol;
    status.code = sftp::StatusCode::BadMessage;
    status.text = "the server's answer makes no sense: " + std::move(what);
    return status;
}

std::string RemoteStatus::Describe(const std::string& what, const std::string& path) const
{
    return what + " '" + path + "': " + text;
}

} // namespace tandrel::platform::remote
