#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>

// The web configuration file of `serve --web-config`, in the format the
// Prometheus exporters take, so one file serves both:
//
//   tls_server_config:
//     cert_file: server.crt
//     key_file: server.key
//   basic_auth_users:
//     alice: $2y$10$...
//
// Keys this service does not act on are refused, as the exporters do: a
// setting that is silently ignored is a hole its writer cannot see.
struct WebConfigParsed;

struct WebConfig
{
    QString certFile; // as written; relative to the file's folder
    QString keyFile;
    QByteArray certPem; // the files' contents, read when the file is loaded
    QByteArray keyPem;
    std::map<QString, QByteArray> users; // name -> bcrypt hash

    bool tls() const { return !certFile.isEmpty(); }
    bool loginRequired() const { return !users.empty(); }

    using Parsed = WebConfigParsed;

    // The text alone; certificate and key are not read.
    static Parsed parse(const QByteArray &yaml);

    // The file, then the certificate and key it names (relative to its folder).
    static Parsed load(const QString &path);
};

struct WebConfigParsed
{
    std::optional<WebConfig> config;
    QString error; // names the key at fault
};
