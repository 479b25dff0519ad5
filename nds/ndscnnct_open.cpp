// Opening and closing a TNdsConnection, the login, and the two setters that
// say where to connect (AliasName, ConnectPath).
#include <optional>
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// Lengths of the texts handed to the engine's connect call.
constexpr std::size_t kMaxServerPathLength = 254;
constexpr std::size_t kMaxCredentialLength = 260;

bool NamesDataDictionary(const std::string& path) {
  std::string upper = path;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper.find(".NDD") != std::string::npos;
}

// Whether `path` names a database on a server (postgresql://...), which
// holds a data dictionary in its catalog and checks logins as a .ndd does.
bool NamesServer(const std::string& path) {
  std::string lower = path.substr(0, 13);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower.starts_with("postgresql://") || lower.starts_with("postgres://");
}

}  // namespace

std::uint32_t EngineConnectOptions(bool middleTier, bool storedProcedure,
                                   TNdsCompressionTypes compression,
                                   TNdsCommunicationType communication) {
  std::uint32_t options = 0;
  if (middleTier) options += NDS_OPT_MIDDLE_TIER;
  if (storedProcedure) options += NDS_OPT_STORED_PROCEDURE;
  switch (compression) {
    case ccNdsCompressInternet:
      options += NDS_OPT_COMPRESS_INTERNET;
      break;
    case ccNdsCompressAlways:
      options += NDS_OPT_COMPRESS_ALWAYS;
      break;
    case ccNdsCompressNever:
      options += NDS_OPT_COMPRESS_NEVER;
      break;
    case ccNdsCompressionNotSet:
      break;
  }
  switch (communication) {
    case ctNdsUDPIP:
      options += NDS_OPT_UDP_IP;
      break;
    case ctNdsIPX:
      options += NDS_OPT_IPX;
      break;
    case ctNdsTCPIP:
      options += NDS_OPT_TCP_IP;
      break;
    case ctNdsDefault:
      break;
  }
  return options;
}

void TNdsConnection::Connect() {
  SetIsConnected(true);
}

void TNdsConnection::Disconnect() {
  SetIsConnected(false);
}

void TNdsConnection::SetIsConnected(bool value) {
  if (value == isConnected_) return;
  if (value && (IsReading() || IsLoading())) {
    // Connecting waits until the whole description is read (Loaded).
    connectAfterLoad_ = true;
    return;
  }
  userGroupsRead_ = false;
  if (value)
    Open();
  else
    Close();
}

void TNdsConnection::Open() {
  if (BeforeConnect) BeforeConnect(this);

  if (!validAlias_) {
    // The alias was not in nds.ini when it was set; it may be there now.
    SetAliasName(aliasName_);
    if (!validAlias_) throw NdsConnectionError("TNdsConnection.AliasName is not valid");
  }

  const std::string path = ServerPath();
  if (path.empty())
    throw NdsConnectionError("Must specify connection string before getting a server connection.");
  // The engine takes at most 254 characters of server path. Cutting a longer
  // path would connect to whatever database its first 254 characters name,
  // so it is refused instead.
  if (path.size() > kMaxServerPathLength)
    throw NdsConnectionError("The server path is longer than 254 characters.");

  LoginAndConnect(path);
  isConnected_ = true;

  if (isDictionaryConnection_) RunDictionaryStep();

  if (AfterConnect) AfterConnect(this);
  DoConnect();
}

void TNdsConnection::LoginAndConnect(const std::string& serverPath) {
  std::string user;
  std::string password;
  if (loginPrompt_ && isDictionaryConnection_) {
    if (OnLogin) {
      OnLogin(this, user, password);
    } else {
      user = username_;
      password = password_;
    }
    username_ = user;
    password_ = password;
  } else {
    user = username_;
    password = password_;
  }
  user.resize(std::min(user.size(), kMaxCredentialLength));
  password.resize(std::min(password.size(), kMaxCredentialLength));
  // Only a data dictionary checks credentials (a .ndd, or the one every
  // database on a server holds); free tables get none.
  if (!isDictionaryConnection_ && !NamesServer(serverPath)) {
    user.clear();
    password.clear();
  }

  NDSHANDLE handle = 0;
  const NDSRESULT rc = NdsConnect60(
      serverPath.c_str(), EngineServerTypeMask(serverTypes_), user.c_str(), password.c_str(),
      EngineConnectOptions(middleTierConnection_, storedProcedureConnection_, compression_,
                           communicationType_),
      &handle);
  CheckEngineCode(nullptr, rc);
  // CheckEngineCode stays silent while an ENDSDatabaseError is being built on
  // this thread; a refused connect must still not count as open.
  if (rc != NDS_SUCCESS) throw NdsError(rc);
  handle_ = handle;
}

void TNdsConnection::Close() {
  if (BeforeDisconnect) BeforeDisconnect(this);
  DeactivateAndDetachDataSets();
  CloseCachedStatements();

  const NDSRESULT rc = NdsDisconnect(handle_);
  std::optional<NdsError> failure;
  if (rc != NDS_SUCCESS) failure.emplace(rc);  // its text is the engine's now

  isConnected_ = false;
  handle_ = 0;
  // The engine ends an open transaction with its connection.
  transactionActive_ = false;

  if (AfterDisconnect) AfterDisconnect(this);
  DoDisconnect();
  if (failure) throw *failure;
}

void TNdsConnection::SetAliasName(const std::string& alias) {
  if (isConnected_)
    throw NdsConnectionError(
        "The TNdsConnection.AliasName may not be changed when IsConnected is TRUE");
  validAlias_ = true;
  if (alias.empty()) {
    aliasName_.clear();
    aliasPath_.clear();
    aliasTableType_ = kAliasTypeUnspecified;
    return;
  }

  const TConnectionAlias found = ReadAliasForConnection(alias);
  aliasName_ = alias;
  if (!found.found) {
    // Not an error yet: the next connect looks the alias up again.
    validAlias_ = false;
    aliasPath_.clear();
    aliasTableType_ = kAliasTypeUnspecified;
    return;
  }
  connectPath_.clear();
  aliasPath_ = found.path;
  aliasTableType_ = found.tableType;
  isDictionaryConnection_ = NamesDataDictionary(aliasPath_);
  ApplyAliasTableTypeToOwnedDataSets();
}

void TNdsConnection::SetConnectPath(const std::string& path) {
  if (isConnected_)
    throw NdsConnectionError(
        "The TNdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
  connectPath_ = path;
  isDictionaryConnection_ = NamesDataDictionary(path);
  aliasName_.clear();
  aliasPath_.clear();
  aliasTableType_ = kAliasTypeUnspecified;
}

}  // namespace nds
