// TNdsConnection in stored descriptions: its class registration with the
// published properties, their stored rules, and the names of the event
// handlers a description assigns.
#include <mutex>

#include "dataset/class_registry.h"
#include "dataset/streaming.h"
#include "nds/ndscnnct.h"

namespace nds {

namespace {

using Connection = TNdsConnection;
using dataset::TNotifyEvent;

// An event property: the handler comes from the description's root by name;
// the name is kept for writing.
template <TNotifyEvent Connection::*Member>
void AddEvent(dataset::TClassBuilder<Connection>& builder, const std::string& name) {
  builder.Event(
      name, [name](const Connection& c) { return c.EventHandlerName(name); },
      [name](Connection& c, const std::string& handler, TNotifyEvent event) {
        c.*Member = std::move(event);
        c.SetEventHandlerName(name, handler);
      });
}

void RegisterConnection() {
  dataset::RegisterFrameworkClasses();
  auto builder = dataset::RegisterClass<Connection, dataset::TComponent>("TNdsConnection");
  // Written when not empty.
  builder.String("AliasName", &Connection::AliasName, &Connection::SetAliasName);
  // No default: written as True or False, when StoreConnected allows.
  builder.Boolean("IsConnected", &Connection::IsConnected, &Connection::SetIsConnected,
                  std::nullopt, [](const Connection& c) { return c.StoreConnected(); });
  builder.String("ConnectPath", &Connection::ConnectPath, &Connection::SetConnectPath);
  builder.Set<TNdsServerType>("NdsServerTypes", &Connection::NdsServerTypes,
                              &Connection::SetNdsServerTypes,
                              {"stNDS_REMOTE", "stNDS_LOCAL", "stNDS_AIS"}, std::nullopt);
  builder.Boolean("LoginPrompt", &Connection::LoginPrompt, &Connection::SetLoginPrompt);
  builder.String("Username", &Connection::Username, &Connection::SetUsername);
  builder.String("Password", &Connection::Password, &Connection::SetPassword);
  // Written only when they differ from their defaults.
  builder.Boolean("MiddleTierConnection", &Connection::MiddleTierConnection,
                  &Connection::SetMiddleTierConnection, false);
  builder.Boolean("StoreConnected", &Connection::StoreConnected, &Connection::SetStoreConnected,
                  true);
  builder.Boolean("StoredProcedureConnection", &Connection::StoredProcedureConnection,
                  &Connection::SetStoredProcedureConnection, false);
  builder.Enum<TNdsCompressionTypes>("Compression", &Connection::Compression,
                                     &Connection::SetCompression,
                                     {"ccNdsCompressionNotSet", "ccNdsCompressInternet",
                                      "ccNdsCompressAlways", "ccNdsCompressNever"});
  builder.Enum<TNdsCommunicationType>("CommunicationType", &Connection::CommunicationType,
                                      &Connection::SetCommunicationType,
                                      {"ctNdsDefault", "ctNdsUDPIP", "ctNdsIPX", "ctNdsTCPIP"});
  builder.Boolean("ReadOnly", &Connection::ReadOnly, &Connection::SetReadOnly, false);
  AddEvent<&Connection::AfterCommit>(builder, "AfterCommit");
  AddEvent<&Connection::BeforeCommit>(builder, "BeforeCommit");
  AddEvent<&Connection::AfterRollback>(builder, "AfterRollback");
  AddEvent<&Connection::BeforeRollback>(builder, "BeforeRollback");
  AddEvent<&Connection::OnConnect>(builder, "OnConnect");
  AddEvent<&Connection::OnDisconnect>(builder, "OnDisconnect");
  AddEvent<&Connection::AfterConnect>(builder, "AfterConnect");
  AddEvent<&Connection::BeforeConnect>(builder, "BeforeConnect");
  AddEvent<&Connection::AfterDisconnect>(builder, "AfterDisconnect");
  AddEvent<&Connection::BeforeDisconnect>(builder, "BeforeDisconnect");
}

}  // namespace

void RegisterConnectionClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterConnection);
}

std::string TNdsConnection::EventHandlerName(const std::string& event) const {
  const auto it = handlerNames_.find(event);
  return it == handlerNames_.end() ? std::string() : it->second;
}

void TNdsConnection::SetEventHandlerName(const std::string& event, const std::string& handler) {
  if (handler.empty())
    handlerNames_.erase(event);
  else
    handlerNames_[event] = handler;
}

}  // namespace nds
