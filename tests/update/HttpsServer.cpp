#include "update/HttpsServer.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "support/TestSupport.h"

namespace zqtest {
namespace {

std::string Openssl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult r = Run(argv, {}, "", 30000);
    if (r.exitCode != 0) return "openssl " + args[0] + " failed: " + r.err;
    return {};
}

}  // namespace

std::string MakeTestPki(const std::string& folder) {
    if (!FileExists("/usr/bin/openssl")) return "openssl is not installed";
    const std::string f = folder + "/";
    const std::vector<std::string> ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                      "-nodes"};
    WriteFile(f + "server.ext",
              "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
              "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n");
    for (const char* ca : {"ca", "other-ca"}) {
        std::vector<std::string> args{"req", "-x509"};
        args.insert(args.end(), ec.begin(), ec.end());
        args.insert(args.end(), {"-keyout", f + ca + ".key", "-out", f + ca + ".pem", "-days", "2",
                                 "-subj", std::string("/CN=Zequora test ") + ca, "-addext",
                                 "basicConstraints=critical,CA:TRUE", "-addext",
                                 "keyUsage=critical,keyCertSign,cRLSign"});
        if (auto e = Openssl(args); !e.empty()) return e;
    }
    std::vector<std::string> req{"req"};
    req.insert(req.end(), ec.begin(), ec.end());
    req.insert(req.end(), {"-keyout", f + "server.key", "-out", f + "server.csr", "-subj",
                           "/CN=127.0.0.1"});
    if (auto e = Openssl(req); !e.empty()) return e;
    return Openssl({"x509", "-req", "-in", f + "server.csr", "-CA", f + "ca.pem", "-CAkey",
                    f + "ca.key", "-CAcreateserial", "-out", f + "server.pem", "-days", "2",
                    "-extfile", f + "server.ext"});
}

HttpsServer::HttpsServer(const std::string& root, const std::string& pkiFolder,
                         double stallSeconds) {
    int out[2];
    if (pipe(out) != 0) {
        error_ = "pipe failed";
        return;
    }
    const std::string script = SourceDir() + "/tests/update/https_server.py";
    const std::string stall = std::to_string(stallSeconds);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execlp("python3", "python3", script.c_str(), "--root", root.c_str(), "--cert",
               (pkiFolder + "/server.pem").c_str(), "--key", (pkiFolder + "/server.key").c_str(),
               "--stall", stall.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        error_ = "fork failed";
        return;
    }
    pid_ = pid;
    // Wait for "PORT <n>\n", at most ten seconds.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{out[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[64];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    if (port_ <= 0) error_ = "the test server did not start: " + line;
}

HttpsServer::~HttpsServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

}  // namespace zqtest
