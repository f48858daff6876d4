#include "helper/net/linux/rtnetlink_links.hpp"

#if defined(__linux__)

#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <netlink/errno.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

#include "helper/net/network_errors.hpp"

namespace nubrik {

namespace {

constexpr const char* getLinkOperation = "RTM_GETLINK";

// A dump whose link set changed while it ran is flagged by the kernel and taken again.
constexpr int dumpAttempts = 3;
// Replies to earlier, abandoned requests are skipped; this bounds how many are tolerated.
constexpr int receiveRounds = 64;
// Dump datagrams are at most 32 KiB; without MSG_PEEK the buffer must hold the largest one.
constexpr size_t receiveBufferBytes = 64 * 1024;

struct MessageDeleter {
  void operator()(nl_msg* message) const { nlmsg_free(message); }
};
using Message = std::unique_ptr<nl_msg, MessageDeleter>;

struct SocketDeleter {
  void operator()(nl_sock* sock) const { nl_socket_free(sock); }
};
struct CallbackDeleter {
  void operator()(nl_cb* callbacks) const { nl_cb_put(callbacks); }
};

struct DumpedLink {
  int index = 0;
  std::string name;
  bool loopback = false;  // of the loopback type, whatever its name
  bool up = false;
};

// What one request collected from its replies; filled in by the C callbacks below, which must
// never let an exception through libnl.
struct Exchange {
  uint32_t sequence = 0;
  uint32_t localPort = 0;
  bool done = false;
  int kernelError = 0;  // errno from an NLMSG_ERROR reply
  bool malformed = false;
  bool allocationFailed = false;
  std::vector<DumpedLink> links;
};

int errnoOfLibnlError(int error) {
  switch (error < 0 ? -error : error) {
    case NLE_NOMEM:
      return ENOMEM;
    case NLE_PERM:
      return EPERM;
    case NLE_NODEV:
      return ENODEV;
    case NLE_OBJ_NOTFOUND:
      return ENOENT;
    case NLE_AGAIN:
      return EAGAIN;
    case NLE_INTR:
      return EINTR;
    case NLE_DUMP_INTR:
      return EINTR;
    case NLE_BAD_SOCK:
      return EBADF;
    case NLE_MSG_TRUNC:
      return EMSGSIZE;
    case NLE_BUSY:
      return EBUSY;
    case NLE_INVAL:
      return EINVAL;
    case NLE_RANGE:
      return ERANGE;
    case NLE_NOADDR:
      return EADDRNOTAVAIL;
    case NLE_NOACCESS:
      return EACCES;
    case NLE_OPNOTSUPP:
      return EOPNOTSUPP;
    default:
      return EIO;
  }
}

// Kernel names are at most IFNAMSIZ - 1 bytes; anything else is not a name we can act on.
bool isValidLinkName(std::string_view name) {
  return !name.empty() && name.size() < IFNAMSIZ && name.find('\0') == std::string_view::npos;
}

// The NUL-terminated name in an IFLA_IFNAME attribute, or nullopt.
std::optional<std::string> linkNameOf(nlattr* attribute) {
  if (attribute == nullptr) return std::nullopt;
  const auto* data = static_cast<const char*>(nla_data(attribute));
  const size_t length = static_cast<size_t>(std::max(nla_len(attribute), 0));
  const void* terminator = std::memchr(data, '\0', length);
  if (terminator == nullptr) return std::nullopt;
  std::string name(data, static_cast<const char*>(terminator) - data);
  if (!isValidLinkName(name)) return std::nullopt;
  return name;
}

int checkSequence(nl_msg* message, void* argument) {
  const auto& exchange = *static_cast<Exchange*>(argument);
  const nlmsghdr* header = nlmsg_hdr(message);
  return header->nlmsg_seq == exchange.sequence && header->nlmsg_pid == exchange.localPort
             ? NL_OK
             : NL_SKIP;
}

int onError(sockaddr_nl*, nlmsgerr* error, void* argument) {
  auto& exchange = *static_cast<Exchange*>(argument);
  exchange.kernelError = error->error < 0 ? -error->error : error->error;
  exchange.done = true;
  return NL_STOP;
}

int onAcknowledged(nl_msg*, void* argument) {
  static_cast<Exchange*>(argument)->done = true;
  return NL_STOP;
}

int onFinished(nl_msg*, void* argument) {
  static_cast<Exchange*>(argument)->done = true;
  return NL_STOP;
}

int onDumpedLink(nl_msg* message, void* argument) {
  auto& exchange = *static_cast<Exchange*>(argument);
  nlmsghdr* header = nlmsg_hdr(message);
  if (header->nlmsg_type != RTM_NEWLINK) return NL_SKIP;
  // Only the name is needed; IFLA_IFNAME comes first, so a full attribute parse is wasted work.
  if (!nlmsg_valid_hdr(header, sizeof(ifinfomsg))) {
    exchange.malformed = true;
    return NL_SKIP;
  }
  const auto* info = static_cast<const ifinfomsg*>(nlmsg_data(header));
  std::optional<std::string> name =
      linkNameOf(nlmsg_find_attr(header, sizeof(ifinfomsg), IFLA_IFNAME));
  if (!name || info->ifi_index <= 0) {
    exchange.malformed = true;
    return NL_SKIP;
  }
  try {
    exchange.links.push_back(DumpedLink{info->ifi_index, std::move(*name),
                                        info->ifi_type == ARPHRD_LOOPBACK,
                                        (info->ifi_flags & IFF_UP) != 0});
  } catch (...) {
    exchange.allocationFailed = true;
  }
  return NL_OK;
}

// A change is answered by an acknowledgement alone; anything else in reply is not ours to read.
int onChangeReply(nl_msg*, void*) {
  return NL_SKIP;
}

}  // namespace

struct RtnetlinkLinks::Socket {
  std::unique_ptr<nl_sock, SocketDeleter> sock;
  std::unique_ptr<nl_cb, CallbackDeleter> callbacks;

  // Opens and binds the socket in the calling thread's network namespace; returns an errno.
  int open() {
    sock.reset(nl_socket_alloc());
    callbacks.reset(nl_cb_alloc(NL_CB_DEFAULT));
    if (!sock || !callbacks) return ENOMEM;
    // Every request is matched to its replies by sequence number below; libnl's own ordering
    // check would reject a lone RTM_GETLINK reply.
    nl_socket_disable_auto_ack(sock.get());
    if (const int error = nl_connect(sock.get(), NETLINK_ROUTE); error < 0) {
      return errnoOfLibnlError(error);
    }
    // One recvmsg per datagram instead of a peek and a read.
    nl_socket_disable_msg_peek(sock.get());
    if (nl_socket_set_msg_buf_size(sock.get(), receiveBufferBytes) < 0) return ENOMEM;
    return 0;
  }

  // Sends `message` and reads replies until the exchange is complete. Returns 0, or the errno
  // of a failure of the socket itself (not of the request: that is exchange.kernelError).
  int transact(nl_msg* message, Exchange& exchange, nl_recvmsg_msg_cb_t onValid) {
    const int sent = nl_send_auto(sock.get(), message);
    if (sent < 0) return errnoOfLibnlError(sent);
    exchange.sequence = nlmsg_hdr(message)->nlmsg_seq;
    exchange.localPort = nl_socket_get_local_port(sock.get());
    nl_cb* cb = callbacks.get();
    nl_cb_set(cb, NL_CB_SEQ_CHECK, NL_CB_CUSTOM, checkSequence, &exchange);
    nl_cb_set(cb, NL_CB_VALID, NL_CB_CUSTOM, onValid, &exchange);
    nl_cb_set(cb, NL_CB_FINISH, NL_CB_CUSTOM, onFinished, &exchange);
    nl_cb_set(cb, NL_CB_ACK, NL_CB_CUSTOM, onAcknowledged, &exchange);
    nl_cb_err(cb, NL_CB_CUSTOM, onError, &exchange);
    for (int round = 0; round < receiveRounds && !exchange.done; ++round) {
      const int received = nl_recvmsgs(sock.get(), cb);
      if (received < 0) {
        // An error reply has been recorded and consumed; anything else is the socket's.
        if (exchange.kernelError != 0) return 0;
        return errnoOfLibnlError(received);
      }
    }
    return exchange.done ? 0 : EPROTO;
  }
};

RtnetlinkLinks::RtnetlinkLinks() = default;
RtnetlinkLinks::~RtnetlinkLinks() = default;

RtnetlinkLinks::Socket& RtnetlinkLinks::socket() {
  if (!socket_) {
    auto fresh = std::make_unique<Socket>();
    if (const int error = fresh->open(); error != 0) {
      throw NetworkSystemError::systemCallFailed("socket(NETLINK_ROUTE)", error);
    }
    socket_ = std::move(fresh);
  }
  return *socket_;
}

namespace {

Message linkRequest(int type, int flags, const std::string* name, unsigned int setFlags = 0,
                    unsigned int changeMask = 0) {
  Message message(nlmsg_alloc_simple(type, flags));
  if (!message) return message;
  ifinfomsg info{};
  info.ifi_family = AF_UNSPEC;
  info.ifi_flags = setFlags;
  info.ifi_change = changeMask;
  if (nlmsg_append(message.get(), &info, sizeof info, NLMSG_ALIGNTO) < 0 ||
      (name != nullptr && nla_put_string(message.get(), IFLA_IFNAME, name->c_str()) < 0) ||
      (type == RTM_GETLINK &&
       nla_put_u32(message.get(), IFLA_EXT_MASK, RTEXT_FILTER_SKIP_STATS) < 0)) {
    message.reset();
  }
  return message;
}

}  // namespace

std::vector<LinkState> RtnetlinkLinks::linkStates(bool includeLoopback) {
  std::lock_guard lock(mutex_);
  return dumpLocked(includeLoopback);
}

std::vector<LinkState> RtnetlinkLinks::dumpLocked(bool includeLoopback) {
  for (int attempt = 1;; ++attempt) {
    Socket& sock = socket();
    Message request = linkRequest(RTM_GETLINK, NLM_F_DUMP, nullptr);
    if (!request) throw NetworkSystemError::systemCallFailed(getLinkOperation, ENOMEM);
    Exchange exchange;
    const int failure = sock.transact(request.get(), exchange, onDumpedLink);
    if (failure != 0 || exchange.kernelError != 0 || exchange.allocationFailed) {
      socket_.reset();  // a half-read dump would confuse the next request
      const int error = exchange.kernelError != 0   ? exchange.kernelError
                        : exchange.allocationFailed ? ENOMEM
                                                    : failure;
      if (error == EINTR && attempt < dumpAttempts) continue;  // links changed during the dump
      throw NetworkSystemError::systemCallFailed(getLinkOperation, error);
    }
    const auto malformed = [] { return NetworkStateError::malformedOutput(getLinkOperation); };
    if (exchange.malformed) throw malformed();
    std::sort(exchange.links.begin(), exchange.links.end(),
              [](const DumpedLink& a, const DumpedLink& b) { return a.index < b.index; });
    std::set<std::string_view> seen;
    std::set<int> seenIndexes;
    std::vector<int> loopbacks;
    for (const DumpedLink& link : exchange.links) {
      if (!seen.insert(link.name).second || !seenIndexes.insert(link.index).second) {
        throw malformed();
      }
      if (link.loopback) loopbacks.push_back(link.index);
    }
    // Every network namespace has its loopback device; a dump without one is not a complete one.
    if (loopbacks.empty()) throw malformed();
    std::unordered_map<std::string, int> indexes;
    std::vector<LinkState> links;
    links.reserve(exchange.links.size());
    for (DumpedLink& link : exchange.links) {
      indexes.emplace(link.name, link.index);
      if (includeLoopback || !link.loopback) links.push_back({std::move(link.name), link.up});
    }
    listedIndexes_ = std::move(indexes);
    loopbackIndexes_ = std::move(loopbacks);
    return links;
  }
}

// The name the kernel gives the index now, asked by ioctl on the open socket.
std::optional<std::string> RtnetlinkLinks::nameOfIndex(int index) {
  if (!socket_) return std::nullopt;
  ifreq byIndex{};
  byIndex.ifr_ifindex = index;
  if (::ioctl(nl_socket_get_fd(socket_->sock.get()), SIOCGIFNAME, &byIndex) != 0) {
    return std::nullopt;
  }
  return std::string(byIndex.ifr_name, strnlen(byIndex.ifr_name, IFNAMSIZ));
}

bool RtnetlinkLinks::isLoopback(const std::string& name) {
  if (!isValidLinkName(name)) return false;
  std::lock_guard lock(mutex_);
  try {
    // Without a listing yet, one is taken to find the device; later ones keep its index.
    if (loopbackIndexes_.empty()) dumpLocked(true);
    if (const auto listed = listedIndexes_.find(name);
        listed != listedIndexes_.end() &&
        std::find(loopbackIndexes_.begin(), loopbackIndexes_.end(), listed->second) ==
            loopbackIndexes_.end()) {
      return false;
    }
    socket();  // reopened if an earlier failure closed it
    return std::any_of(loopbackIndexes_.begin(), loopbackIndexes_.end(),
                       [&](int index) { return nameOfIndex(index) == name; });
  } catch (...) {
    return false;
  }
}

bool RtnetlinkLinks::setUp(const std::string& name, bool up) {
  if (!isValidLinkName(name)) return false;
  std::lock_guard lock(mutex_);
  try {
    Socket& sock = socket();
    Message request = linkRequest(RTM_SETLINK, NLM_F_ACK, &name, up ? IFF_UP : 0, IFF_UP);
    if (!request) return false;
    Exchange exchange;
    if (sock.transact(request.get(), exchange, onChangeReply) != 0) {
      socket_.reset();
      return false;
    }
    return exchange.done && exchange.kernelError == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace nubrik

#endif  // __linux__
