/* Coverage builds only: the record layer ends a run with _exit(), which skips the routine that
   writes gcov's counters at exit. Linked with -Wl,--wrap=_exit, this writes them first.
   The batch program's workers end at the same moment and write the same counter files: one at a
   time, under a lock. A test may have set a file size limit for the program (its soft limit);
   the counter files are not the program's, so the limit is lifted to the hard one first. */
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>

extern void __gcov_dump(void);
extern void __real__exit(int code) __attribute__((noreturn));

void __wrap__exit(int code) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  int lock = open("/tmp/x17b2pavo-coverage.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
  if (lock >= 0) flock(lock, LOCK_EX);
  __gcov_dump();
  __real__exit(code); /* the lock goes with the process */
}
