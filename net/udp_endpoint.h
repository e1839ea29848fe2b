// One IPv4 UDP socket that sends and receives whole datagrams.  Received
// datagrams are announced through the Qt event loop; a datagram to a remote
// host given by name goes once the name has been looked up, on a thread,
// and a look-up that fails is reported as an event.  Progress and errors
// carry the endpoint's French texts.
#pragma once

#include "fault_seam.h"
#include "host_lookup.h"
#include "memory_stream.h"
#include "wire_format.h"

#include <array>
#include <functional>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QSocketNotifier;

// A failed host look-up, a null remote address or a socket error.
class UDPSockError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Status texts, by level.
inline constexpr int kStatusCreate = 8;
inline constexpr int kStatusSend = 2;
inline constexpr int kStatusCheckError = 16;
inline constexpr int kStatusErrorText = 8;
inline constexpr const char* kTextCreate = "Initialisation de Winsock";
inline constexpr const char* kTextSend = "Envoi de données";
inline constexpr const char* kTextCheckError =
    "Vérification de l'erreur dans le Gestionnaire d'erreurs";
inline constexpr const char* kTextErrorLookup = "Recherche du message d'erreur";

// Error texts.
inline constexpr const char* kLookupCancelledText = "Recherche de l'hôte annulée";
inline constexpr const char* kNullAddressText = "Adresse distante nulle";
inline constexpr const char* kStreamInvalidText = "Flux incorrect";
inline constexpr const char* kUnknownErrorText = "N° d'erreur inconnu. ";

// Host names longer than this are refused without a look-up.
inline constexpr std::size_t kMaxHostNameLength = 127;

class TUDPEndpoint {
  public:
    using TOnReceive = std::function<void(TUDPEndpoint& sender, int numberBytes,
                                          const std::string& fromIP, int port)>;
    using TNotifyEvent = std::function<void(TUDPEndpoint& sender)>;
    using TOnStatus = std::function<void(TUDPEndpoint& sender, const std::string& status)>;
    using THandlerEvent = std::function<void(bool& handled)>;
    using TStreamInvalid = std::function<void(bool& handled, TMemoryStream& stream)>;
    using TOnWire =
        std::function<void(const std::string& bytes, const std::string& toIP, int port)>;
    using TOnSendFailed = std::function<void(TUDPEndpoint& sender, const std::string& text)>;

    // Creates the socket (not yet bound: set LocalPort to receive).
    // Throws UDPSockError when no socket can be made.
    TUDPEndpoint();
    ~TUDPEndpoint();
    TUDPEndpoint(const TUDPEndpoint&) = delete;
    TUDPEndpoint& operator=(const TUDPEndpoint&) = delete;

    // Where the next datagram goes: a dotted IPv4 address or a host name.
    const std::string& RemoteHost() const { return remoteHost_; }
    void setRemoteHost(const std::string& host) { remoteHost_ = host; }
    int RemotePort() const { return remotePort_; }
    void setRemotePort(int port) { remotePort_ = port; }
    // Setting the local port makes a fresh socket and binds it to
    // LocalAddress at that port.  A failed bind is silent (LastError keeps
    // it): the endpoint then receives nothing.
    int LocalPort() const { return localPort_; }
    void setLocalPort(int port);
    // Dotted IPv4 address to bind to, "0.0.0.0" for every local address;
    // takes effect when LocalPort is next set.
    const std::string& LocalAddress() const { return localAddress_; }
    void setLocalAddress(const std::string& address) { localAddress_ = address; }
    // Status texts up to this level are reported.
    int ReportLevel() const { return reportLevel_; }
    void setReportLevel(int level) { reportLevel_ = level; }
    const std::string& StatusText() const { return statusText_; }
    // Windows Sockets number of the last error seen.
    int LastError() const { return lastError_; }

    // Events, raised only when set.
    TOnReceive OnDataReceived;   // a datagram arrived: ReadStream fetches it
    TNotifyEvent OnDataSend;     // a datagram was handed to the socket
    TOnStatus OnStatus;          // a status text was reported
    THandlerEvent OnInvalidHost; // a host name did not resolve; handled = try once more
    // A datagram to a host name was dropped: the name did not resolve
    // ("Recherche de l'hôte annulée") or resolved to 0.0.0.0 ("Adresse
    // distante nulle").  Without a handler the error is thrown into the
    // event loop as UDPSockError.
    TOnSendFailed OnSendFailed;
    TStreamInvalid OnStreamInvalid; // an empty stream was given; handled = it has been filled
    // A datagram went onto the socket (after the fault seam, if any): what
    // the peer may receive.  For tests that check the bytes on the wire.
    TOnWire OnWire;

    // Passes every datagram sent from now on through a fault seam; inactive
    // settings take it away.  Datagrams it still holds are dropped.
    void setFaults(const TFaultSettings& settings);
    const TFaultSeam* Faults() const { return seam_.get(); }

    // Sends the whole stream as one datagram to RemoteHost:RemotePort: at
    // once to a dotted address, or once a host name has been looked up
    // (with the bytes and port of now).  What cannot be sent at all throws:
    // an empty or too long stream, 0.0.0.0, a name over 127 characters.
    void SendStream(TMemoryStream& stream);
    // Writes the last received datagram into the stream at its position,
    // then moves the stream's position to 0.
    void ReadStream(TMemoryStream& stream) const;
    void ReportStatus(int level, const std::string& text);
    // Examines the error of the last failed socket call (errno): reports it
    // and raises UDPSockError, except for "would block".
    void CheckError();

    // Ends every running host look-up; the datagrams that waited for them
    // are dropped without a word.
    void CancelLookup();
    // Closes the socket for good: nothing more is received or sent, running
    // look-ups are cancelled.  Safe inside the endpoint's own events.
    void Close();

  private:
    void OpenSocket();
    void CloseSocket();
    void Bind();
    void DatagramReady();
    // A datagram that waits for its host name.
    struct TNamedSend {
        std::string bytes;
        int port = 0;
        bool secondTry = false;
        std::unique_ptr<THostLookup> lookup;
    };
    void LookUp(std::string bytes, int port, bool secondTry);
    void LookedUp(std::list<TNamedSend>::iterator send, const THostLookup::Answer& answer);
    void SendResolved(const std::string& bytes, uint32_t address, int port);
    void SendFailed(const std::string& text);
    void PutOnWire(const std::string& bytes, uint32_t address, int port);

    int socket_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Notifiers of closed sockets; kept until destruction because a socket
    // may be closed from inside its own notification.
    std::vector<std::unique_ptr<QSocketNotifier>> oldNotifiers_;
    std::list<TNamedSend> named_; // in the order they were sent
    std::unique_ptr<TFaultSeam> seam_;

    std::string remoteHost_;
    int remotePort_ = 0;
    int localPort_ = 0;
    std::string localAddress_ = "0.0.0.0";
    int reportLevel_ = 1;
    std::string statusText_;
    int lastError_ = 0;

    std::array<char, kMaxDatagramBytes> received_{};
    std::size_t receivedCount_ = 0;
};
