// The database exception of the component layer, ENDSDatabaseError, and
// CheckEngineCode, the one check through which engine return codes become
// exceptions.
#ifndef NDS_NDSDATA_ERRORS_H_
#define NDS_NDSDATA_ERRORS_H_

#include <cstdint>
#include <string>

#include "dataset/exceptions.h"
#include "nds/nce.h"

namespace nds {

class TNdsDataSet;

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

}  // namespace nds

#endif  // NDS_NDSDATA_ERRORS_H_
