// TNdsConnection in stored descriptions: its class registration with the
// published properties, their stored rules and its events (the notify
// events and OnLogin).
#include <mutex>

#include "dataset/class_registry.h"
#include "dataset/streaming.h"
#include "nds/ndscnnct.h"

namespace nds {

namespace {

using Connection = TNdsConnection;

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
  builder.EventMember("AfterCommit", &Connection::AfterCommit)
      .EventMember("BeforeCommit", &Connection::BeforeCommit)
      .EventMember("AfterRollback", &Connection::AfterRollback)
      .EventMember("BeforeRollback", &Connection::BeforeRollback)
      .EventMember("OnConnect", &Connection::OnConnect)
      .EventMember("OnDisconnect", &Connection::OnDisconnect)
      .EventMember("AfterConnect", &Connection::AfterConnect)
      .EventMember("BeforeConnect", &Connection::BeforeConnect)
      .EventMember("AfterDisconnect", &Connection::AfterDisconnect)
      .EventMember("BeforeDisconnect", &Connection::BeforeDisconnect)
      .EventMember("OnLogin", &Connection::OnLogin);
}

}  // namespace

void RegisterConnectionClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterConnection);
}

}  // namespace nds
