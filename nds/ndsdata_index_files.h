// TNdsIndexFiles: the index files a dataset opens with every cursor.
#ifndef NDS_NDSDATA_INDEX_FILES_H_
#define NDS_NDSDATA_INDEX_FILES_H_

#include <string>

#include "dataset/strings.h"

namespace nds {

class TNdsDataSet;

// The list of index files a dataset opens with every cursor: sorted, a name
// listed twice is kept once. While the owner is open, adding a name opens
// the file on its cursor and removing one closes it.
class TNdsIndexFiles : public dataset::TStringList {
 public:
  // Raises when `owner` is null.
  explicit TNdsIndexFiles(TNdsDataSet* owner);
  TNdsDataSet* Owner() const { return owner_; }

  int Add(const std::string& name) override;
  // Always refused: the list is sorted.
  void Insert(int index, const std::string& name) override;
  void Delete(int index) override;
  void Clear() override;

 private:
  TNdsDataSet* owner_;
};

}  // namespace nds

#endif  // NDS_NDSDATA_INDEX_FILES_H_
