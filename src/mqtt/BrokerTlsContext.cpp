#include "BrokerTlsContext.h"

#include <arpa/inet.h>
#include <openssl/x509v3.h>

namespace tarnwick {

namespace {

bool isAddress(const QByteArray& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.constData(), buffer) == 1 ||
           inet_pton(AF_INET6, host.constData(), buffer) == 1;
}

// libmosquitto sets the numeric address it connects to as the server name
// just before its first SSL_connect, which builds the ClientHello; the
// handshake's start, inside that SSL_connect, is the one moment after that
// and before the ClientHello. The name is the one the certificate is checked
// against (inherited from the context); an address sends no name at all.
void setServerName(const SSL* constSsl, int where, int) {
    if (!(where & SSL_CB_HANDSHAKE_START)) return;
    SSL* ssl = const_cast<SSL*>(constSsl);
    const char* name = X509_VERIFY_PARAM_get0_host(SSL_get0_param(ssl), 0);
    SSL_set_tlsext_host_name(ssl, name);
}

}  // namespace

SslContext makeBrokerTlsContext(const QString& host, const QString& caFile) {
    SslContext context(SSL_CTX_new(TLS_client_method()));
    if (!context) return context;
    SSL_CTX* c = context.get();
    const QByteArray ca = caFile.toLocal8Bit();
    if ((ca.isEmpty() ? SSL_CTX_load_verify_dir(c, kSystemCaFolder)
                      : SSL_CTX_load_verify_file(c, ca.constData())) != 1)
        return nullptr;
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
    const QByteArray name = host.toUtf8();
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(c);
    const int set = isAddress(name) ? X509_VERIFY_PARAM_set1_ip_asc(param, name.constData())
                                    : X509_VERIFY_PARAM_set1_host(param, name.constData(), 0);
    if (set != 1) return nullptr;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_options(c, SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_mode(c, SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_info_callback(c, setServerName);
    return context;
}

}  // namespace tarnwick
