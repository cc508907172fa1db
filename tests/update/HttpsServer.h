#pragma once
// A throw-away certificate authority and a local HTTPS server (https_server.py) for the
// update tool's tests.
#include <string>

namespace zqtest {

// Makes ca.pem, server.pem and server.key (for 127.0.0.1 and localhost, signed by ca.pem)
// and other-ca.pem, a second authority that signed nothing here. Empty on success, else why.
std::string MakeTestPki(const std::string& folder);

class HttpsServer {
public:
    // Serves root with the certificate of pkiFolder; stall is how long /stall/ stays silent.
    HttpsServer(const std::string& root, const std::string& pkiFolder, double stallSeconds = 30);
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    bool Running() const { return port_ > 0; }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    std::string Base() const { return "https://127.0.0.1:" + std::to_string(port_); }

private:
    int pid_ = -1;
    int port_ = 0;
    std::string error_;
};

}  // namespace zqtest
