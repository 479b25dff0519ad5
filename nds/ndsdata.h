// The cursor dataset unit: TNdsDataSet and its companions, the database
// exception ENDSDatabaseError with CheckEngineCode (the one check through
// which engine return codes become exceptions), and the datasets' reader of
// nds.ini aliases.
#ifndef NDS_NDSDATA_H_
#define NDS_NDSDATA_H_

#include <cstdint>
#include <string>

#include "dataset/exceptions.h"
#include "nds/nce.h"

namespace dataset {
class TParams;
}  // namespace dataset

namespace nds {

class TNdsDataSet;

// Table types of a dataset (ordinals 0 to 3), as SourceTableType publishes them.
enum TNdsTableTypes { ttNdsCDX, ttNdsNTX, ttNdsNDT, ttNdsDefault };

// ---------------------------------------------------------------------------
// Database errors.

// An engine call of a dataset, a query, the path connection list or some
// connection operations failed, or a component refused an operation (engine
// number 5121). Carries the engine's number and text and, when a dataset is
// concerned, the details that identify it.
class ENDSDatabaseError : public dataset::EDatabaseError {
 public:
  // `dataSet` may be null. The message becomes "<dataset name>: <message>"
  // when the dataset has a name. Gathering the dataset's details never
  // raises: a failure while gathering keeps what was gathered so far. An
  // error built while another is being built on the same thread has an
  // empty message and no details.
  ENDSDatabaseError(const TNdsDataSet* dataSet, std::uint32_t engineErrorCode,
                    const std::string& message);
  ENDSDatabaseError(const ENDSDatabaseError&) = default;
  ENDSDatabaseError& operator=(const ENDSDatabaseError&) = default;
  // Clears this thread's error-building flag.
  ~ENDSDatabaseError() override;

  std::uint32_t EngineErrorCode() const { return details_.engineErrorCode; }
  std::int32_t SqlNativeCode() const { return details_.sqlNativeCode; }
  const std::string& DataSetName() const { return details_.dataSetName; }
  const std::string& DataSetOwnerName() const { return details_.dataSetOwnerName; }
  const std::string& DatabaseName() const { return details_.databaseName; }
  const std::string& DatabasePath() const { return details_.databasePath; }
  const std::string& TableName() const { return details_.tableName; }
  const std::string& ColumnName() const { return details_.columnName; }

  // What an error carries besides its message, in the order of its fields.
  struct Details {
    std::uint32_t engineErrorCode = 0;
    std::int32_t sqlNativeCode = 0;  // from "Error 7200: ... NativeError = n;"
    std::string dataSetName;
    std::string dataSetOwnerName;
    std::string databaseName;
    std::string databasePath;
    std::string tableName;
    std::string columnName;  // engine errors 5147 to 5149 only
  };

 private:
  struct Built {
    Details details;
    std::string message;
  };
  explicit ENDSDatabaseError(Built built);
  static Built Build(const TNdsDataSet* dataSet, std::uint32_t engineErrorCode,
                     const std::string& message);

  Details details_;
};

// Returns when `code` is 0. Otherwise raises ENDSDatabaseError for `dataSet`
// (or none) with the engine's last error number and text; while an
// ENDSDatabaseError is being built on this thread it returns silently, so
// that failures while gathering an error's details never replace it.
void CheckEngineCode(const TNdsDataSet* dataSet, NDSRESULT code);

// True while an ENDSDatabaseError is being built on the calling thread.
bool IsBuildingDatabaseError();

// The native error number of an engine SQL error text ("Error 7200: ...
// NativeError = n; ..."), 0 when there is none or it is not a number.
std::int32_t SqlNativeCodeOf(const std::string& message);

// The column an engine value error names (`column "NAME"`), up to 900
// characters; empty when the text names none.
std::string ColumnNameOf(const std::string& message);

// Fills the details that identify `dataSet` (name, owner name, database name
// and path, table name). May raise; the caller keeps what was filled.
void GatherDataSetDetails(const TNdsDataSet& dataSet, ENDSDatabaseError::Details& details);

// ---------------------------------------------------------------------------
// Aliases of nds.ini as datasets read them.

// True when `name` contains "/" or "\": a dataset's DatabaseName of that form
// is a path, not an alias.
bool IsPathName(const std::string& name);

// What ReadAliasForDataSet found: `found` when the path is not empty; the
// table type is ttNdsNTX for ";N", ttNdsCDX for ";C", ttNdsNDT otherwise.
struct TDataSetAlias {
  bool found = false;
  std::string path;
  TNdsTableTypes tableType = ttNdsNDT;
};
TDataSetAlias ReadAliasForDataSet(const std::string& alias);

// ---------------------------------------------------------------------------
// Parameter binding.

// Datasets and queries hold this value while they have no engine object of
// a kind (the engine itself never gives 0 as a handle).
inline constexpr NDSHANDLE kNoHandle = static_cast<NDSHANDLE>(-1);

// Binds `params` by position to the prepared `statement`: parameter i is
// statement parameter i + 1, whatever its name. A null value is bound empty;
// each type travels in its engine form (text, logical, double, Julian day,
// milliseconds, timestamp, binary). Raises ENDSDatabaseError for `reportFor`
// (or none) at the first parameter that cannot be bound, leaving those
// before it bound. Types the engine has no form for (GUIDs, variants, ...)
// are skipped.
void BindParams(NDSHANDLE statement, dataset::TParams& params, const TNdsDataSet* reportFor);

}  // namespace nds

#endif  // NDS_NDSDATA_H_
