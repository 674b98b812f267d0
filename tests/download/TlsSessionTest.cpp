#include "download/TlsSession.h"

#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

// Catches a TLS write to a peer that has gone away ending the whole program with SIGPIPE (the
// signal's default action), instead of failing like a plain send does.
TEST(TTlsSessionTest, WritingToAClosedPeerFailsWithoutASignal)
{
    TTestCertificates certs;
    ASSERT_TRUE(certs.Make()) << certs.Error().toStdString();
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    SSL_CTX *serverCtx = SSL_CTX_new(TLS_server_method());
    ASSERT_EQ(SSL_CTX_use_certificate_chain_file(serverCtx, certs.Good().Cert.toLocal8Bit().constData()), 1);
    ASSERT_EQ(SSL_CTX_use_PrivateKey_file(serverCtx, certs.Good().Key.toLocal8Bit().constData(), SSL_FILETYPE_PEM), 1);
    SSL *server = SSL_new(serverCtx);
    SSL_set_fd(server, fds[1]);
    SSL_set_accept_state(server);

    TTlsSession client(fds[0], QStringLiteral("127.0.0.1"), QStringLiteral("443"), certs.CaFile());
    TTlsSession::TWait wait = TTlsSession::tlsNone;
    // Both ends on one thread: each step runs until it waits for the other.
    bool serverDone = false;
    for (int step = 0; step < 100 && !(client.Established() && serverDone); ++step) {
        client.Handshake(wait);
        serverDone = serverDone || SSL_do_handshake(server) == 1;
    }
    ASSERT_TRUE(client.Established()) << client.Failure().toStdString();
    ASSERT_TRUE(serverDone);

    SSL_free(server);
    SSL_CTX_free(serverCtx);
    ::close(fds[1]);
    int result = 0;
    for (int i = 0; i < 3 && result >= 0; ++i)
        result = client.Write("GET / HTTP/1.1\r\n\r\n", 18, wait);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(client.Failed());
    EXPECT_EQ(wait, TTlsSession::tlsNone);
    ::close(fds[0]);
}
