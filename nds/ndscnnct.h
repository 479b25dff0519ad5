// The connection component: TNdsConnection owns one engine connection to a
// Nimbus database server, resolves its alias through nds.ini, runs
// transactions and keeps the datasets bound to it in step with it.
// This unit also holds the connection's exceptions, the process-wide
// connection registry and the nds.ini reader.
#ifndef NDS_NDSCNNCT_H_
#define NDS_NDSCNNCT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dataset/component.h"
#include "dataset/datetime.h"
#include "dataset/exceptions.h"
#include "dataset/strings.h"
#include "nds/nce.h"
#include "nds/ndsset.h"

namespace dataset {
class TParams;
}  // namespace dataset

namespace nds {

class TNdsDataSet;  // nds/ndsdata.h

// ---------------------------------------------------------------------------
// Exceptions of the connection component.

// An engine call of the connection failed. The message is the engine's text
// for its last error; the exception keeps no error number.
class NdsError : public dataset::Exception {
 public:
  // `engineCode` is the return code of the engine call that failed.
  explicit NdsError(NDSRESULT engineCode);
};

// The connection was used in a state that does not allow the operation.
class NdsConnectionError : public dataset::Exception {
 public:
  using dataset::Exception::Exception;
};

// The engine's last error text, read with NdsGetLastError preset to
// `engineCode`. When the engine cannot answer, its own error display is
// called with the title "Nds Exception Error" and the text is empty.
std::string EngineLastErrorText(NDSRESULT engineCode);

// ---------------------------------------------------------------------------
// Alias lookup in nds.ini (section "Databases": alias = path[;type letter]).
// Every lookup reads the file afresh; nothing is cached.

// The directories searched for nds.ini, in order: the program's directory,
// the current directory, $XDG_CONFIG_HOME (or ~/.config), /etc, then the
// directories of PATH.
std::vector<std::string> ConfigSearchDirectories();

// The full name of the first readable nds.ini in ConfigSearchDirectories(),
// or the bare name "nds.ini" when there is none.
std::string LocateConfigFile();

// The value of `entry` in `section` of a profile file's text; empty when the
// section or entry is missing. Section and entry names match without regard
// to letter case; the first entry of that name counts.
std::string FindProfileValue(std::string_view text, std::string_view section,
                             std::string_view entry);

// The same for a file; a file that cannot be read gives an empty value.
std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view entry);

// An alias value cut at its first ";": the path before it and the letter
// right after it (0 when there is no ";" or nothing follows it).
struct TAliasValue {
  std::string path;
  char typeLetter = 0;
};
TAliasValue SplitAliasValue(std::string_view value);

// What ReadAliasForConnection found: `found` when the path is not empty;
// `tableType` 0 unspecified, 1 CDX, 2 NTX, 3 NDT.
struct TConnectionAlias {
  bool found = false;
  std::string path;
  std::uint8_t tableType = 0;
};
TConnectionAlias ReadAliasForConnection(const std::string& alias);

// Alias table type codes of TConnectionAlias and TNdsConnection::AliasTableType.
inline constexpr std::uint8_t kAliasTypeUnspecified = 0;
inline constexpr std::uint8_t kAliasTypeCDX = 1;
inline constexpr std::uint8_t kAliasTypeNTX = 2;
inline constexpr std::uint8_t kAliasTypeNDT = 3;

// ---------------------------------------------------------------------------
// Stored enumerations of the connection's connect options.

enum TNdsCompressionTypes {
  ccNdsCompressionNotSet,
  ccNdsCompressInternet,
  ccNdsCompressAlways,
  ccNdsCompressNever
};

enum TNdsCommunicationType { ctNdsDefault, ctNdsUDPIP, ctNdsIPX, ctNdsTCPIP };

// The engine's connect options for NdsConnect60: the sum of the values of the
// settings that apply (middle tier 1, stored procedure 2, compression
// internet 12 / always 4 / never 8, UDP/IP 32, IPX 64, TCP/IP 128).
std::uint32_t EngineConnectOptions(bool middleTier, bool storedProcedure,
                                   TNdsCompressionTypes compression,
                                   TNdsCommunicationType communication);

// The search text of a table listing: empty for a data dictionary (the
// engine lists the dictionary's tables); otherwise the server path without
// one trailing "/" or "\", then "\", then the pattern: `fileMask` for alias
// table type 0, "*.ndt" for 3 (NDT), "*.dbf" for 1 and 2 (CDX, NTX).
std::string TableSearchText(const std::string& serverPath, std::uint8_t aliasTableType,
                            bool dictionary, const std::string& fileMask);

// Appends to `list` every part of `text` that a ";" ends, without the ";";
// text after the last ";" is not a part.
void AppendSemicolonEndedParts(const std::string& text, dataset::TStrings& list);

// OnLogin: fills in the user name and password of a data dictionary login.
using TNdsDatabaseLoginEvent =
    std::function<void(dataset::TObject* sender, std::string& userName, std::string& password)>;

}  // namespace nds

template <>
struct dataset::TEventTypeName<nds::TNdsDatabaseLoginEvent> {
  static constexpr const char* value = "TNdsDatabaseLoginEvent";
};

namespace nds {

// Texts of the connection's refusals.
inline constexpr const char* kNoConnectionMessage = "No connection to Nimbus server.";

// ---------------------------------------------------------------------------
// The connection component.

// ---------------------------------------------------------------------------
// SQL executed by the connection itself (ExecuteStatement).

// One kept statement of a connection's statement cache.
struct TStmtInfo {
  std::int32_t hash;    // SQLTextHash of text
  NDSHANDLE statement;  // the prepared statement; 0 while none
  std::string text;     // the SQL text it was prepared from
};

// Statement options for ExecuteStatementWithOptions, in the codes the
// engine's NdsStmtSet* functions take (nce.h).
struct TStmtOptions {
  std::uint16_t lockType;     // NDS_PROPRIETARY_LOCKING or NDS_COMPATIBLE_LOCKING
  std::uint16_t charType;     // NDS_ANSI or NDS_OEM
  std::uint16_t rightsCheck;  // NDS_CHECK_RIGHTS or NDS_IGNORE_RIGHTS
  std::uint16_t tableType;    // NDS_NTX, NDS_CDX or NDS_NDT
};

// The statement cache's hash of an SQL text (letter case counts): a text
// under 16 characters folds every character (h * 37 + c), a longer one every
// (length / 8)-th character from the first (h * 39 + c); 32-bit wrapping.
std::int32_t SQLTextHash(std::string_view text);

class TNdsConnection : public dataset::TComponent {
 public:
  // `owner` may be null; an owner destroys the connection with itself.
  explicit TNdsConnection(dataset::TComponent* owner);
  // Closes the registered datasets and the engine connection without firing
  // BeforeDisconnect or AfterDisconnect, and leaves the connection registry.
  ~TNdsConnection() override;

  // Streaming: connects once the whole description is read when IsConnected
  // was read as true.
  void Loaded() override;
  // Renaming keeps the datasets that name this connection in their
  // DatabaseName pointing at it.
  void SetName(const std::string& name) override;

  // Where to connect. Setting one clears the other; both refuse while open.
  const std::string& AliasName() const { return aliasName_; }
  virtual void SetAliasName(const std::string& alias);
  virtual std::string ConnectPath() const;
  virtual void SetConnectPath(const std::string& path);

  // Opening and closing.
  bool IsConnected() const { return isConnected_; }
  virtual void SetIsConnected(bool value);
  virtual void Connect();
  virtual void Disconnect();
  // The engine handle while connected, else 0 (no engine call).
  virtual NDSHANDLE ConnectionHandle() const;

  // Published settings used when connecting.
  TNdsServerTypes NdsServerTypes() const { return serverTypes_; }
  void SetNdsServerTypes(TNdsServerTypes types) { serverTypes_ = types; }
  bool LoginPrompt() const { return loginPrompt_; }
  void SetLoginPrompt(bool value) { loginPrompt_ = value; }
  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& value) { username_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  bool MiddleTierConnection() const { return middleTierConnection_; }
  void SetMiddleTierConnection(bool value) { middleTierConnection_ = value; }
  bool StoredProcedureConnection() const { return storedProcedureConnection_; }
  void SetStoredProcedureConnection(bool value) { storedProcedureConnection_ = value; }
  bool StoreConnected() const { return storeConnected_; }
  void SetStoreConnected(bool value) { storeConnected_ = value; }
  TNdsCompressionTypes Compression() const { return compression_; }
  void SetCompression(TNdsCompressionTypes value) { compression_ = value; }
  TNdsCommunicationType CommunicationType() const { return communicationType_; }
  void SetCommunicationType(TNdsCommunicationType value) { communicationType_ = value; }
  // Queries on this connection open their tables read-only.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }

  // Where the database is.
  // ConnectPath when not empty, else the path the alias resolved to.
  virtual std::string ServerPath() const;
  // ServerPath reduced to its directory when it names a data dictionary
  // file ("x.ndd"); ".\" for a bare dictionary file name.
  virtual std::string DatabaseDirectory() const;
  // The table type read with the alias: kAliasType* (0 to 3).
  virtual std::uint8_t AliasTableType() const { return aliasTableType_; }
  // The server path names a data dictionary (it contains ".NDD").
  virtual bool IsDictionaryConnection() const { return isDictionaryConnection_; }
  // The thread that created the connection; datasets that look a connection
  // up by name prefer one of their own thread.
  std::thread::id CreatingThread() const { return creatingThread_; }

  // Transactions. All refuse on a closed connection with
  // NdsConnectionError "No connection to Nimbus server." and never connect.
  virtual void StartTransaction();
  virtual void CommitTransaction();
  virtual void RollbackTransaction();
  // An empty name rolls the whole transaction back (RollbackTransaction).
  virtual void RollbackToSavepoint(const std::string& name);
  virtual void CreateSavepoint(const std::string& name);
  virtual bool TransactionIsActive() const;
  // Closes every statement of the statement cache and empties it.
  virtual void CloseCachedStatements();

  // SQL executed without a query component; connects first when closed.
  // With `params` holding parameters they are bound by position and the
  // prepared text executed; otherwise the text is executed directly. With
  // `cursor` a SELECT's cursor is written there (the caller owns it) and the
  // result is 0; without it the result is the rows affected. With `keep` the
  // statement stays prepared in the statement cache and is reused, as it
  // is, for the next execution of the same text; otherwise it is closed
  // before returning, also on failure. Engine and parameter failures raise
  // ENDSDatabaseError for no dataset. ExecuteStatement answers 0 when the
  // engine has no count (5117); ExecuteStatementWithOptions raises then.
  virtual std::uint32_t ExecuteStatement(const std::string& sql, dataset::TParams* params,
                                         bool keep, NDSHANDLE* cursor);
  virtual std::uint32_t ExecuteStatementWithOptions(const TStmtOptions& options,
                                                    const std::string& sql,
                                                    dataset::TParams* params, bool keep,
                                                    NDSHANDLE* cursor);
  // The kept statements, in the order they were added.
  int CachedStatementCount() const;
  // Raises EListError for an index outside 0 .. CachedStatementCount - 1.
  const TStmtInfo& CachedStatement(int index) const;

  // Server information and catalogue queries. Names are appended to the
  // caller's lists; nothing is cleared first.
  // "Local", "Remote", "Internet" or empty; empty without an engine call
  // when closed.
  virtual std::string ServerTypeText();
  // Raises NdsConnectionError "Must be connected to get Nimbus server name."
  // when closed.
  virtual std::string ServerName();
  // False without an engine call when closed.
  virtual bool ConnectionAlive();
  // The user's groups in the data dictionary, read on first use after each
  // connect or disconnect. The list belongs to the connection.
  virtual dataset::TStringList* UserGroups();
  virtual std::string UserGroupsText();
  virtual void ReadUserGroups();
  // Tables under the server path matching `fileMask` (a dictionary lists
  // its own tables); refuse when closed.
  virtual void GetTableNames(dataset::TStrings* list, const std::string& fileMask);
  virtual void GetTableNamePairs(dataset::TStrings* first, dataset::TStrings* second,
                                 const std::string& fileMask);
  // The data dictionary's tables; connects first when closed.
  virtual void GetDictionaryObjectNames(dataset::TStrings* list);
  virtual std::uint16_t ActiveLinkCount();
  // The ";"-ended parts of one active link's description.
  virtual void GetActiveLinkInfo(std::uint16_t index, dataset::TStrings* list);
  // The server's date and time; connects first when closed.
  virtual dataset::TDateTime ServerTime();
  // Asks the engine to close the tables it keeps cached; nothing when closed.
  virtual void CloseCachedTables();

  // The datasets bound to this connection, in order of registration. The
  // connection does not own them.
  virtual TNdsDataSet* RegisteredDataSet(int index) const;
  virtual int RegisteredDataSetCount() const;
  virtual void RegisterDataSet(TNdsDataSet* dataSet);
  // Removes the first occurrence; a dataset not registered is ignored.
  virtual void UnregisterDataSet(TNdsDataSet* dataSet);

  // Events; each fires only when assigned.
  dataset::TNotifyEvent BeforeConnect, AfterConnect, OnConnect;
  dataset::TNotifyEvent BeforeDisconnect, AfterDisconnect, OnDisconnect;
  dataset::TNotifyEvent BeforeCommit, AfterCommit, BeforeRollback, AfterRollback;
  TNdsDatabaseLoginEvent OnLogin;

 protected:
  // The rollback with its events and dataset handling.
  virtual void PerformRollback();
  // Credentials and the engine's connect call for `serverPath`.
  virtual void LoginAndConnect(const std::string& serverPath);

  virtual void DoAfterCommit();
  virtual void DoBeforeCommit();
  virtual void DoAfterRollback();
  virtual void DoBeforeRollback();
  virtual void DoConnect();
  virtual void DoDisconnect();

 private:
  // The statement cache (ndscnnct_statements.cpp).
  TStmtInfo* FindStatementEntry(const std::string& sql);
  void DropStatementEntry(const TStmtInfo* entry);
  NDSHANDLE ObtainStatement(const std::string& sql, bool keep, NDSHANDLE* cursor,
                            const TStmtOptions* options);
  std::uint32_t RunCachedStatement(const TStmtOptions* options, const std::string& sql,
                                   dataset::TParams* params, bool keep, NDSHANDLE* cursor);

  void Open();
  void Close();
  void CheckConnected() const;
  void FireEvent(const dataset::TNotifyEvent& event);

  // Steps that reach into the registered datasets.
  void DeactivateAndDetachDataSets();
  void DetachDataSetsOnDestroy();
  void RunDictionaryStep();
  void CancelDataSets();
  void RefreshActiveDataSets();
  void ApplyAliasTableTypeToOwnedDataSets();
  void RetargetNamingDataSets(const std::string& oldName);

  std::string aliasName_;                // as set, looked up in nds.ini
  bool validAlias_ = true;               // false: the last AliasName set was not found
  bool isConnected_ = false;             // the engine connection is open
  std::string connectPath_;              // server path given directly
  bool transactionActive_ = false;       // begun and not yet committed or rolled back
  NDSHANDLE handle_ = 0;                 // the engine connection; 0 when closed
  std::vector<TNdsDataSet*> dataSets_;   // registered datasets, not owned
  bool connectAfterLoad_ = false;        // IsConnected was read as true
  std::string aliasPath_;                // server path AliasName resolved to
  std::uint8_t aliasTableType_ = 0;      // table type read with the alias (kAliasType*)
  bool isDictionaryConnection_ = false;  // server path contains ".NDD"
  bool loginPrompt_ = true;
  std::string username_;
  std::string password_;
  TNdsServerTypes serverTypes_;
  bool middleTierConnection_ = false;
  bool storedProcedureConnection_ = false;
  bool storeConnected_ = true;  // IsConnected is written when true
  TNdsCompressionTypes compression_ = ccNdsCompressionNotSet;
  TNdsCommunicationType communicationType_ = ctNdsDefault;
  bool readOnly_ = false;
  std::thread::id creatingThread_;                    // thread that constructed the connection
  std::unique_ptr<dataset::TStringList> userGroups_;  // the user's dictionary groups
  std::string userGroupsText_;                        // the same as one text
  bool userGroupsRead_ = false;  // groups read since the last connect or disconnect
  // Kept statements, one per distinct text; created by the first lookup.
  std::unique_ptr<std::vector<std::unique_ptr<TStmtInfo>>> statementCache_;
};

// Registers TNdsConnection and its published properties in the class
// registry, so that stored descriptions can create and set it. Calling it
// again does nothing.
void RegisterConnectionClasses();

// ---------------------------------------------------------------------------
// The process-wide connection registry: every TNdsConnection in existence,
// in order of construction, guarded by its own lock.

// True once the first connection has been constructed.
bool ConnectionRegistryExists();

// Calls `visit` with the registry's connections while holding its lock, so
// that a search over several passes sees one unchanging list. `visit` must
// not construct or destroy connections.
void WithConnectionRegistry(const std::function<void(const std::vector<TNdsConnection*>&)>& visit);

}  // namespace nds

#endif  // NDS_NDSCNNCT_H_
