#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace hchat {

/// The sealed link's wire: sizes and the first byte of each datagram. A plain
/// datagram starts with "<"; a sealed one with a byte below 0x20, which no
/// plain datagram can. docs/protocol.md ("Sealed link") describes the pattern.
struct SealWire {
    enum Type : char {
        Handshake = 0x01,       ///< client index | e | AEAD(s) | AEAD(timestamp, length, poll, padding)
        HandshakeAnswer = 0x02, ///< client index | server index | e | AEAD(reply)
        Data = 0x03,            ///< receiver index | counter | AEAD(datagram)
        KeyRequest = 0x04,      ///< zeros, at least keyAnswerBytes long
        KeyAnswer = 0x05,       ///< the server's static public key
        SessionUnknown = 0x06,  ///< the index of sealed data the server has no session for
    };
    static constexpr qsizetype keyBytes = 32;
    static constexpr qsizetype indexBytes = 4;
    static constexpr qsizetype tagBytes = 16;
    static constexpr qsizetype counterBytes = 8;
    static constexpr qsizetype timestampBytes = 8;
    static constexpr qsizetype lengthBytes = 2;
    /// What a handshake adds to the poll it carries, padding aside.
    static constexpr qsizetype handshakeOverhead =
        1 + indexBytes + keyBytes + keyBytes + tagBytes + timestampBytes + lengthBytes + tagBytes;
    /// What a handshake's answer adds to the reply it carries.
    static constexpr qsizetype answerOverhead = 1 + 2 * indexBytes + keyBytes + tagBytes;
    /// What sealed data adds to the datagram it carries.
    static constexpr qsizetype dataOverhead = 1 + indexBytes + counterBytes + tagBytes;
    static constexpr qsizetype dataHeaderBytes = 1 + indexBytes + counterBytes;
    /// Clients pad every handshake to at least this: room for the answer to
    /// a first poll, which the server never lets grow past the handshake.
    static constexpr qsizetype minHandshakeBytes = 512;
    static constexpr qsizetype keyAnswerBytes = 1 + keyBytes;
    static constexpr qsizetype keyRequestBytes =
        64; ///< what clients send; the server takes >= keyAnswerBytes
    static constexpr qsizetype sessionUnknownBytes = 1 + indexBytes;

    /// The datagram's type, or 0 for a plain datagram and anything unknown.
    static char typeOf(QByteArrayView datagram)
    {
        if (datagram.isEmpty())
            return 0;
        const char t = datagram.front();
        return t >= Handshake && t <= SessionUnknown ? t : char(0);
    }
    static QByteArray keyRequest();
    static QByteArray keyAnswer(const QByteArray &publicKey);
    static QByteArray sessionUnknown(quint32 index);
    /// The index named by sealed data (its receiver), or by a SessionUnknown.
    static std::optional<quint32> indexOf(QByteArrayView datagram);
};

/// An X25519 key pair: the server's long-term key, or a member's key.
struct SealKeyPair {
    QByteArray publicKey; ///< 32 bytes
    QByteArray secretKey; ///< 32 bytes; never logged, never sent

    bool isValid() const
    {
        return publicKey.size() == SealWire::keyBytes && secretKey.size() == SealWire::keyBytes;
    }
    static SealKeyPair generate();
    /// The pair of a secret key (the public half is derived); invalid for a bad one.
    static SealKeyPair fromSecret(const QByteArray &secretKey);

    /// A key file: the secret key as base64 on one line, readable by its owner only.
    static std::optional<SealKeyPair> load(const QString &path, QString *error = nullptr);
    bool save(const QString &path, QString *error = nullptr) const;
    /// The pair kept at `path`, made and saved there when there is no file
    /// yet. Nothing (and `error`) when the file is there but unreadable or
    /// damaged: it is never replaced, since peers trust the key it holds.
    static std::optional<SealKeyPair> loadOrCreate(const QString &path, QString *error = nullptr);
};

/// Public keys as people and INI files handle them.
struct SealKeyText {
    /// base64 of the 32 bytes.
    static QString encode(const QByteArray &publicKey);
    /// A public key a key exchange can use: 32 bytes, not one of the few
    /// points every exchange turns into zeros.
    static bool usable(QByteArrayView publicKey);
    /// The 32 bytes of a base64 key (surrounding blanks ignored); empty when
    /// it is not one or not usable.
    static QByteArray decode(const QString &text);
    /// A short text to compare aloud: 10 bytes of BLAKE2b of the key in
    /// base32, grouped "ABCD-EFGH-IJKL-MNOP". Empty for an empty key.
    static QString fingerprint(const QByteArray &publicKey);
};

/// The newest counters received on a session: a counter seen before, or
/// older than the window, is a replay.
class CounterWindow
{
public:
    static constexpr quint64 span = 1024;
    /// True when `counter` was not seen and is not too old; marks nothing.
    bool fresh(quint64 counter) const;
    /// Marks `counter` seen (after its datagram proved genuine).
    void mark(quint64 counter);

private:
    quint64 m_next = 0; ///< one past the newest counter seen
    std::array<quint64, span / 64> m_bits{};
};

/// One direction's key and the other's, after a handshake: seals and opens
/// sealed data (SealWire::Data).
class SealedChannel
{
public:
    using Subkey = std::array<unsigned char, 32>;

    SealedChannel() = default;
    ~SealedChannel();
    SealedChannel(const SealedChannel &) = default;
    SealedChannel &operator=(const SealedChannel &) = default;
    SealedChannel(SealedChannel &&) = default;
    SealedChannel &operator=(SealedChannel &&) = default;
    SealedChannel(quint32 localIndex, quint32 remoteIndex, const QByteArray &sendKey,
                  const QByteArray &receiveKey, const QByteArray &peerKey);

    bool isValid() const { return m_sendKey.size() == SealWire::keyBytes; }
    quint32 localIndex() const { return m_localIndex; }
    quint32 remoteIndex() const { return m_remoteIndex; }
    /// The other side's static key: the server's (client side), the member's (server side).
    const QByteArray &peerKey() const { return m_peerKey; }

    /// `datagram` sealed for the other side under the next counter.
    QByteArray seal(QByteArrayView datagram);
    /// The datagram inside sealed data for this side, or nothing when it is
    /// not for this session, altered, forged or a replay.
    std::optional<QByteArray> open(QByteArrayView sealed);

private:
    quint32 m_localIndex = 0;
    quint32 m_remoteIndex = 0;
    QByteArray m_sendKey;
    QByteArray m_receiveKey;
    QByteArray m_peerKey;
    Subkey m_sendSubkey{};
    Subkey m_receiveSubkey{};
    quint64 m_sendCounter = 0;
    CounterWindow m_received;
};

/// The hashing and key state a handshake builds up (chaining key, handshake
/// hash, cipher key and its nonce), as in the Noise framework's IK pattern.
struct SealHandshakeState {
    std::array<unsigned char, 32> ck{};
    std::array<unsigned char, 32> h{};
    std::array<unsigned char, 32> k{};
    quint64 n = 0;
    bool keyed = false;
};

/// The client's half of a handshake: it knows the server's static key and
/// proves its own.
class SealInitiator
{
public:
    SealInitiator(const SealKeyPair &own, const QByteArray &serverKey);

    /// The handshake carrying `poll` (SealWire::Handshake), padded to
    /// `padTo` bytes (at least SealWire::minHandshakeBytes); `timestampMs`
    /// must grow from one handshake to the next (the server drops one that
    /// does not: a replayed handshake does nothing). Empty when the poll is
    /// too long or the server key is unusable.
    QByteArray handshake(QByteArrayView poll, quint64 timestampMs, qsizetype padTo = 0);
    quint32 index() const { return m_index; }

    /// Opens the server's answer to this handshake: the channel and the
    /// reply inside. Nothing when it is not this handshake's answer.
    std::optional<std::pair<SealedChannel, QByteArray>> answer(QByteArrayView datagram) const;

private:
    SealKeyPair m_own;
    SealKeyPair m_ephemeral;
    QByteArray m_serverKey;
    quint32 m_index = 0;
    SealHandshakeState m_state;
};

/// The server's half: opens a handshake and answers it.
class SealResponder
{
public:
    /// What a handshake told: who sent it and what it carries.
    struct Opened {
        quint32 clientIndex = 0;
        QByteArray clientKey; ///< the member key the client proved
        quint64 timestampMs = 0;
        QByteArray poll;
        qsizetype size = 0; ///< of the handshake: the answer may not exceed it
        QByteArray clientEphemeral;
        SealHandshakeState state;
    };
    /// Needs only the server's own key, then costs two key exchanges: call
    /// once the sender's allowance is checked. Nothing for anything but a
    /// genuine handshake to `server`.
    static std::optional<Opened> open(const SealKeyPair &server, QByteArrayView datagram);
    /// The answer carrying `reply` (two more key exchanges) and the
    /// server's channel. `reply` must leave the answer within `opened.size`.
    static std::pair<SealedChannel, QByteArray> answer(const Opened &opened, quint32 serverIndex,
                                                       QByteArrayView reply);
};

/// A random index for a session.
quint32 sealRandomIndex();

} // namespace hchat
