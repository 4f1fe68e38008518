#include "cli/command.h"

#include <exception>
#include <new>

#include "platform/exceptions.h"

namespace pagewright::cli {

CaughtError DescribeCaughtException() {
  try {
    throw;
  } catch (const Exception& e) {
    return {e.ClassName(), e.Message()};
  } catch (const std::bad_alloc&) {
    return {"EOutOfMemory", "Out of memory"};
  } catch (const std::exception& e) {
    return {"Exception", e.what()};
  } catch (...) {
    return {"Exception", "Unknown error"};
  }
}

}  // namespace pagewright::cli
