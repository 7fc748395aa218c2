#ifndef WENLEI_INTERFACE_EXPORT_LOCK_H_
#define WENLEI_INTERFACE_EXPORT_LOCK_H_

namespace wenlei {

// The exported functions share the resource tables, the working files and
// the prediction step's model, none of which tolerates two calls at once.
// Each export holds this process-wide lock for its whole call, so a host
// that calls from several threads gets exactly the answers of calling one
// at a time.  The lock is never destroyed: a call that ends the process
// keeps it, and threads waiting for it never touch the resources again
// while the process's exit destroys them.
class ExportLock {
 public:
  ExportLock();
  ~ExportLock();
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;
};

}  // namespace wenlei

#endif  // WENLEI_INTERFACE_EXPORT_LOCK_H_
