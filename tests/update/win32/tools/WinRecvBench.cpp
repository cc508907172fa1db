// Measuring aid of scripts/bench_zqu.sh: how fast a Windows program receives plain TCP under
// Wine (no TLS, no HTTP). Reads everything 127.0.0.1:<port> sends, in 256 KB pieces, and
// prints "<bytes> bytes in <seconds> s".
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: WinRecvBench <port>\n");
        return 2;
    }
    WSADATA wsa{};
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
    if (s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::fprintf(stderr, "no connection: %d\n", WSAGetLastError());
        return 1;
    }
    std::vector<char> buffer(256 * 1024);
    unsigned long long total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const int n = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n <= 0) break;
        total += static_cast<unsigned long long>(n);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    closesocket(s);
    std::printf("%llu bytes in %.3f s\n", total, seconds);
    return 0;
}
