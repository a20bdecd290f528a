// Compressing a log as logrotate does, for the report's tests.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>

namespace tarnwick::test {

// `text` as one gzip member, as gzip and logrotate write it.
inline QByteArray gzip(const QByteArray& text) {
    z_stream z{};
    EXPECT_EQ(
        deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
        Z_OK);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

}  // namespace tarnwick::test
