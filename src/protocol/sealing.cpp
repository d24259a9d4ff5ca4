#include "protocol/sealing.h"

#include "protocol/atomicfile.h"

#include <QtEndian>

#include <sodium.h>

#include <cstring>

namespace hchat {

namespace {

using Bytes32 = std::array<unsigned char, 32>;
constexpr qsizetype kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
static_assert(SealWire::tagBytes == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(SealWire::keyBytes == crypto_scalarmult_BYTES);

const unsigned char *u(const char *p)
{
    return reinterpret_cast<const unsigned char *>(p);
}
unsigned char *u(char *p)
{
    return reinterpret_cast<unsigned char *>(p);
}

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Keyed BLAKE2b as the PRF of an HKDF: two outputs from a chaining key.
void kdf(const Bytes32 &ck, QByteArrayView input, Bytes32 *out1, Bytes32 *out2)
{
    Bytes32 temp;
    crypto_generichash(temp.data(), 32, u(input.data()), size_t(input.size()), ck.data(), 32);
    const unsigned char one = 1;
    crypto_generichash(out1->data(), 32, &one, 1, temp.data(), 32);
    unsigned char second[33];
    std::memcpy(second, out1->data(), 32);
    second[32] = 2;
    crypto_generichash(out2->data(), 32, second, 33, temp.data(), 32);
    sodium_memzero(temp.data(), 32);
}

// The counter sits in the nonce's last 8 bytes and the first 16 stay zero:
// XChaCha20 derives its subkey from those 16 alone, so a channel derives it
// once instead of for every datagram (see SealedChannel).
constexpr qsizetype kSubkeyNonceBytes = crypto_core_hchacha20_INPUTBYTES;
constexpr qsizetype kChaChaNonceBytes = crypto_aead_chacha20poly1305_ietf_NPUBBYTES;
static_assert(kSubkeyNonceBytes + 8 == kNonceBytes && kChaChaNonceBytes == 12);

void nonceOf(quint64 counter, unsigned char *nonce)
{
    std::memset(nonce, 0, kNonceBytes);
    qToLittleEndian(counter, nonce + kSubkeyNonceBytes);
}

SealedChannel::Subkey subkeyOf(const QByteArray &key)
{
    SealedChannel::Subkey sub{};
    if (key.size() == crypto_core_hchacha20_KEYBYTES) {
        const unsigned char zeros[kSubkeyNonceBytes] = {};
        crypto_core_hchacha20(sub.data(), zeros, u(key.constData()), nullptr);
    }
    return sub;
}

// XChaCha20-Poly1305 with the nonce of nonceOf(counter), under the subkey
// subkeyOf() made: the same bytes as the one-call form, without the subkey's
// ChaCha block per datagram.
void channelNonce(quint64 counter, unsigned char *nonce)
{
    std::memset(nonce, 0, kChaChaNonceBytes);
    qToLittleEndian(counter, nonce + 4);
}

void aeadSeal(const unsigned char *key, quint64 counter, QByteArrayView ad, QByteArrayView plain, char *out)
{
    unsigned char nonce[kNonceBytes];
    nonceOf(counter, nonce);
    crypto_aead_xchacha20poly1305_ietf_encrypt(u(out), nullptr, u(plain.data()), size_t(plain.size()),
                                               u(ad.data()), size_t(ad.size()), nullptr, nonce, key);
}

bool aeadOpen(const unsigned char *key, quint64 counter, QByteArrayView ad, QByteArrayView sealed, char *out)
{
    if (sealed.size() < SealWire::tagBytes)
        return false;
    unsigned char nonce[kNonceBytes];
    nonceOf(counter, nonce);
    return crypto_aead_xchacha20poly1305_ietf_decrypt(u(out), nullptr, nullptr, u(sealed.data()),
                                                      size_t(sealed.size()), u(ad.data()), size_t(ad.size()),
                                                      nonce, key) == 0;
}

// The symmetric half of a Noise handshake, over SealHandshakeState.
struct Symmetric {
    SealHandshakeState &s;

    void init()
    {
        static constexpr char name[] = "Noise_IK_25519_XChaChaPoly_BLAKE2b";
        crypto_generichash(s.h.data(), 32, u(name), sizeof(name) - 1, nullptr, 0);
        s.ck = s.h;
        mixHash("hchat sealed link 1");
    }
    void mixHash(QByteArrayView data)
    {
        crypto_generichash_state st;
        crypto_generichash_init(&st, nullptr, 0, 32);
        crypto_generichash_update(&st, s.h.data(), 32);
        crypto_generichash_update(&st, u(data.data()), size_t(data.size()));
        crypto_generichash_final(&st, s.h.data(), 32);
    }
    /// False for a key that yields no shared secret (a low-order point).
    bool mixDh(const QByteArray &secret, const QByteArray &publicKey)
    {
        Bytes32 shared;
        if (publicKey.size() != SealWire::keyBytes ||
            crypto_scalarmult(shared.data(), u(secret.data()), u(publicKey.data())) != 0)
            return false;
        kdf(s.ck, QByteArrayView(reinterpret_cast<const char *>(shared.data()), 32), &s.ck, &s.k);
        sodium_memzero(shared.data(), 32);
        s.n = 0;
        s.keyed = true;
        return true;
    }
    QByteArray encryptAndHash(QByteArrayView plain)
    {
        QByteArray out(plain.size() + SealWire::tagBytes, Qt::Uninitialized);
        aeadSeal(s.k.data(), s.n++, QByteArrayView(reinterpret_cast<const char *>(s.h.data()), 32), plain,
                 out.data());
        mixHash(out);
        return out;
    }
    std::optional<QByteArray> decryptAndHash(QByteArrayView sealed)
    {
        if (sealed.size() < SealWire::tagBytes)
            return std::nullopt;
        QByteArray out(sealed.size() - SealWire::tagBytes, Qt::Uninitialized);
        if (!aeadOpen(s.k.data(), s.n++, QByteArrayView(reinterpret_cast<const char *>(s.h.data()), 32),
                      sealed, out.data()))
            return std::nullopt;
        mixHash(sealed);
        return out;
    }
    /// The initiator's sending key and the responder's.
    std::pair<QByteArray, QByteArray> split() const
    {
        Bytes32 a, b;
        kdf(s.ck, {}, &a, &b);
        return {QByteArray(reinterpret_cast<const char *>(a.data()), 32),
                QByteArray(reinterpret_cast<const char *>(b.data()), 32)};
    }
};

void appendIndex(QByteArray &out, quint32 index)
{
    char b[4];
    qToLittleEndian(index, b);
    out.append(b, 4);
}

quint32 indexAt(QByteArrayView d, qsizetype at)
{
    return qFromLittleEndian<quint32>(d.data() + at);
}

} // namespace

quint32 sealRandomIndex()
{
    sodiumReady();
    return randombytes_random();
}

QByteArray SealWire::keyRequest()
{
    QByteArray out(keyRequestBytes, '\0');
    out[0] = KeyRequest;
    return out;
}

QByteArray SealWire::keyAnswer(const QByteArray &publicKey)
{
    return char(KeyAnswer) + publicKey;
}

QByteArray SealWire::sessionUnknown(quint32 index)
{
    QByteArray out(1, SessionUnknown);
    appendIndex(out, index);
    return out;
}

std::optional<quint32> SealWire::indexOf(QByteArrayView d)
{
    const char t = typeOf(d);
    if ((t == Data && d.size() >= dataOverhead) || (t == SessionUnknown && d.size() == sessionUnknownBytes))
        return indexAt(d, 1);
    return std::nullopt;
}

SealKeyPair SealKeyPair::generate()
{
    sodiumReady();
    QByteArray secret(SealWire::keyBytes, Qt::Uninitialized);
    randombytes_buf(secret.data(), size_t(secret.size()));
    return fromSecret(secret);
}

SealKeyPair SealKeyPair::fromSecret(const QByteArray &secretKey)
{
    sodiumReady();
    SealKeyPair pair;
    if (secretKey.size() != SealWire::keyBytes)
        return pair;
    QByteArray pub(SealWire::keyBytes, Qt::Uninitialized);
    if (crypto_scalarmult_base(u(pub.data()), u(secretKey.data())) != 0)
        return pair;
    pair.publicKey = pub;
    pair.secretKey = secretKey;
    return pair;
}

std::optional<SealKeyPair> SealKeyPair::load(const QString &path, QString *error)
{
    QByteArray bytes;
    QString why;
    const auto read = AtomicFile::read(path, &bytes, &why, 4096);
    if (read != AtomicFile::ReadResult::Read) {
        if (error)
            *error =
                read == AtomicFile::ReadResult::Absent ? QStringLiteral("%1: no such file").arg(path) : why;
        return std::nullopt;
    }
    const SealKeyPair pair = fromSecret(QByteArray::fromBase64(bytes.trimmed()));
    if (!pair.isValid() || bytes.trimmed().size() != 44) {
        if (error)
            *error = QStringLiteral("%1 holds no key").arg(path);
        return std::nullopt;
    }
    return pair;
}

bool SealKeyPair::save(const QString &path, QString *error) const
{
    return isValid() && AtomicFile::save(path, secretKey.toBase64() + '\n', error);
}

std::optional<SealKeyPair> SealKeyPair::loadOrCreate(const QString &path, QString *error)
{
    QByteArray bytes;
    if (AtomicFile::read(path, &bytes, nullptr, 4096) != AtomicFile::ReadResult::Absent)
        return load(path, error);
    const SealKeyPair pair = generate();
    if (!pair.save(path, error))
        return std::nullopt;
    return pair;
}

QString SealKeyText::encode(const QByteArray &publicKey)
{
    return QString::fromLatin1(publicKey.toBase64());
}

bool SealKeyText::usable(QByteArrayView publicKey)
{
    if (publicKey.size() != SealWire::keyBytes || !sodiumReady())
        return false;
    unsigned char scalar[crypto_scalarmult_SCALARBYTES] = {1};
    unsigned char shared[crypto_scalarmult_BYTES];
    const bool ok = crypto_scalarmult(shared, scalar, u(publicKey.data())) == 0;
    sodium_memzero(shared, sizeof(shared));
    return ok;
}

QByteArray SealKeyText::decode(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() != 44)
        return {};
    const QByteArray t = trimmed.toLatin1();
    auto r = QByteArray::fromBase64Encoding(t, QByteArray::AbortOnBase64DecodingErrors);
    if (!r || r.decoded.size() != SealWire::keyBytes || !usable(r.decoded))
        return {};
    return r.decoded;
}

QString SealKeyText::fingerprint(const QByteArray &publicKey)
{
    if (publicKey.isEmpty())
        return {};
    sodiumReady();
    unsigned char hash[10];
    crypto_generichash(hash, sizeof(hash), u(publicKey.data()), size_t(publicKey.size()), nullptr, 0);
    // 80 bits make 16 base32 letters exactly.
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QString out;
    quint32 buffer = 0;
    int bits = 0;
    for (unsigned char byte : hash) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            if (!out.isEmpty() && out.size() % 5 == 4)
                out += u'-';
            out += QLatin1Char(alphabet[(buffer >> bits) & 31]);
        }
    }
    return out;
}

bool CounterWindow::fresh(quint64 counter) const
{
    if (counter >= m_next)
        return true;
    // The oldest word shares its place with the newest: one word less is told apart.
    if (m_next - counter > span - 64)
        return false;
    return !(m_bits[(counter / 64) % m_bits.size()] & (quint64(1) << (counter % 64)));
}

void CounterWindow::mark(quint64 counter)
{
    if (counter >= m_next) {
        // Words the window slides onto still hold the bits of counters long gone.
        if (m_next > 0) {
            const quint64 last = (m_next - 1) / 64;
            for (quint64 w = last + 1; w <= counter / 64 && w - last <= m_bits.size(); ++w)
                m_bits[w % m_bits.size()] = 0;
        }
        m_next = counter + 1;
    }
    m_bits[(counter / 64) % m_bits.size()] |= quint64(1) << (counter % 64);
}

SealedChannel::SealedChannel(quint32 localIndex, quint32 remoteIndex, const QByteArray &sendKey,
                             const QByteArray &receiveKey, const QByteArray &peerKey)
    : m_localIndex(localIndex), m_remoteIndex(remoteIndex), m_sendKey(sendKey), m_receiveKey(receiveKey),
      m_peerKey(peerKey), m_sendSubkey(subkeyOf(sendKey)), m_receiveSubkey(subkeyOf(receiveKey))
{
}

SealedChannel::~SealedChannel()
{
    sodium_memzero(m_sendSubkey.data(), m_sendSubkey.size());
    sodium_memzero(m_receiveSubkey.data(), m_receiveSubkey.size());
}

QByteArray SealedChannel::seal(QByteArrayView datagram)
{
    QByteArray out(SealWire::dataOverhead + datagram.size(), Qt::Uninitialized);
    out[0] = SealWire::Data;
    qToLittleEndian(m_remoteIndex, out.data() + 1);
    const quint64 counter = m_sendCounter++;
    qToLittleEndian(counter, out.data() + 1 + SealWire::indexBytes);
    unsigned char nonce[kChaChaNonceBytes];
    channelNonce(counter, nonce);
    crypto_aead_chacha20poly1305_ietf_encrypt(u(out.data() + SealWire::dataHeaderBytes), nullptr,
                                              u(datagram.data()), size_t(datagram.size()), u(out.constData()),
                                              SealWire::dataHeaderBytes, nullptr, nonce, m_sendSubkey.data());
    return out;
}

std::optional<QByteArray> SealedChannel::open(QByteArrayView sealed)
{
    if (!isValid() || SealWire::typeOf(sealed) != SealWire::Data || sealed.size() < SealWire::dataOverhead ||
        indexAt(sealed, 1) != m_localIndex)
        return std::nullopt;
    const quint64 counter = qFromLittleEndian<quint64>(sealed.data() + 1 + SealWire::indexBytes);
    if (!m_received.fresh(counter))
        return std::nullopt;
    QByteArray out(sealed.size() - SealWire::dataOverhead, Qt::Uninitialized);
    unsigned char nonce[kChaChaNonceBytes];
    channelNonce(counter, nonce);
    const QByteArrayView body = sealed.sliced(SealWire::dataHeaderBytes);
    if (crypto_aead_chacha20poly1305_ietf_decrypt(
            u(out.data()), nullptr, nullptr, u(body.data()), size_t(body.size()), u(sealed.data()),
            SealWire::dataHeaderBytes, nonce, m_receiveSubkey.data()) != 0)
        return std::nullopt;
    m_received.mark(counter);
    return out;
}

SealInitiator::SealInitiator(const SealKeyPair &own, const QByteArray &serverKey)
    : m_own(own), m_serverKey(serverKey), m_index(sealRandomIndex())
{
}

QByteArray SealInitiator::handshake(QByteArrayView poll, quint64 timestampMs, qsizetype padTo)
{
    if (poll.size() > 0xffff || !m_own.isValid())
        return {};
    m_ephemeral = SealKeyPair::generate();
    m_state = {};
    Symmetric sym{m_state};
    sym.init();
    QByteArray out(1, SealWire::Handshake);
    appendIndex(out, m_index);
    sym.mixHash(out);
    sym.mixHash(m_ephemeral.publicKey);
    out += m_ephemeral.publicKey;
    if (!sym.mixDh(m_ephemeral.secretKey, m_serverKey))
        return {};
    out += sym.encryptAndHash(m_own.publicKey);
    if (!sym.mixDh(m_own.secretKey, m_serverKey))
        return {};
    // The padding is inside the seal: nobody can trim or grow a handshake.
    const qsizetype natural =
        out.size() + SealWire::timestampBytes + SealWire::lengthBytes + poll.size() + SealWire::tagBytes;
    const qsizetype pad = qMax<qsizetype>(0, qMax(padTo, SealWire::minHandshakeBytes) - natural);
    QByteArray payload(SealWire::timestampBytes + SealWire::lengthBytes, Qt::Uninitialized);
    qToLittleEndian(timestampMs, payload.data());
    qToLittleEndian(quint16(poll.size()), payload.data() + SealWire::timestampBytes);
    payload += poll;
    payload += QByteArray(pad, '\0');
    out += sym.encryptAndHash(payload);
    return out;
}

std::optional<std::pair<SealedChannel, QByteArray>> SealInitiator::answer(QByteArrayView d) const
{
    if (SealWire::typeOf(d) != SealWire::HandshakeAnswer || d.size() < SealWire::answerOverhead ||
        indexAt(d, 1) != m_index || !m_ephemeral.isValid())
        return std::nullopt;
    SealHandshakeState state = m_state;
    Symmetric sym{state};
    sym.mixHash(d.first(1 + 2 * SealWire::indexBytes));
    const QByteArray re = d.sliced(1 + 2 * SealWire::indexBytes, SealWire::keyBytes).toByteArray();
    sym.mixHash(re);
    if (!sym.mixDh(m_ephemeral.secretKey, re) || !sym.mixDh(m_own.secretKey, re))
        return std::nullopt;
    const auto reply = sym.decryptAndHash(d.sliced(1 + 2 * SealWire::indexBytes + SealWire::keyBytes));
    if (!reply)
        return std::nullopt;
    const auto [send, receive] = sym.split();
    return std::pair{SealedChannel(m_index, indexAt(d, 1 + SealWire::indexBytes), send, receive, m_serverKey),
                     *reply};
}

std::optional<SealResponder::Opened> SealResponder::open(const SealKeyPair &server, QByteArrayView d)
{
    constexpr qsizetype sAt = 1 + SealWire::indexBytes + SealWire::keyBytes;
    constexpr qsizetype payloadAt = sAt + SealWire::keyBytes + SealWire::tagBytes;
    if (SealWire::typeOf(d) != SealWire::Handshake || d.size() < SealWire::handshakeOverhead ||
        !server.isValid())
        return std::nullopt;
    Opened o;
    o.clientIndex = indexAt(d, 1);
    o.size = d.size();
    Symmetric sym{o.state};
    sym.init();
    sym.mixHash(d.first(1 + SealWire::indexBytes));
    o.clientEphemeral = d.sliced(1 + SealWire::indexBytes, SealWire::keyBytes).toByteArray();
    sym.mixHash(o.clientEphemeral);
    if (!sym.mixDh(server.secretKey, o.clientEphemeral))
        return std::nullopt;
    auto clientKey = sym.decryptAndHash(d.sliced(sAt, SealWire::keyBytes + SealWire::tagBytes));
    if (!clientKey || !sym.mixDh(server.secretKey, *clientKey))
        return std::nullopt;
    auto payload = sym.decryptAndHash(d.sliced(payloadAt));
    if (!payload)
        return std::nullopt;
    const qsizetype length = qFromLittleEndian<quint16>(payload->constData() + SealWire::timestampBytes);
    if (length > payload->size() - SealWire::timestampBytes - SealWire::lengthBytes)
        return std::nullopt;
    o.clientKey = *clientKey;
    o.timestampMs = qFromLittleEndian<quint64>(payload->constData());
    o.poll = payload->mid(SealWire::timestampBytes + SealWire::lengthBytes, length);
    return o;
}

std::pair<SealedChannel, QByteArray> SealResponder::answer(const Opened &opened, quint32 serverIndex,
                                                           QByteArrayView reply)
{
    SealHandshakeState state = opened.state;
    Symmetric sym{state};
    QByteArray out(1, SealWire::HandshakeAnswer);
    appendIndex(out, opened.clientIndex);
    appendIndex(out, serverIndex);
    sym.mixHash(out);
    const SealKeyPair e = SealKeyPair::generate();
    sym.mixHash(e.publicKey);
    out += e.publicKey;
    // Both keys were checked when the handshake was opened.
    sym.mixDh(e.secretKey, opened.clientEphemeral);
    sym.mixDh(e.secretKey, opened.clientKey);
    out += sym.encryptAndHash(reply);
    const auto [receive, send] = sym.split();
    return {SealedChannel(serverIndex, opened.clientIndex, send, receive, opened.clientKey), out};
}

} // namespace hchat
