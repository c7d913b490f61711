/* Control exports of the stand-in reader library, for tests.
 *
 * Every build of the stand-in (the default one and each variant) exports
 * these next to the NORV_ functions.  A test that loads the library looks
 * them up by name (dlsym, GetProcAddress); the typedefs below name their types.
 */
#ifndef NORVSIM_CONTROL_H
#define NORVSIM_CONTROL_H

#include <stddef.h>

#if defined(_WIN32) && defined(NORVSIM_EXPORTS_BY_DEF)
#define NORVSIM_CONTROL_API /* listed in the module-definition file */
#elif defined(_WIN32)
#define NORVSIM_CONTROL_API __declspec(dllexport)
#elif defined(__GNUC__)
#define NORVSIM_CONTROL_API __attribute__((visibility("default")))
#else
#define NORVSIM_CONTROL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the scenario.  Keys left out take the built-in scenario's values.
 * Returns 0, or -1 on a parse or validation error: the previous scenario is
 * kept and norvsim_last_error() tells what was wrong, naming the key.
 * A successful load forgets the opened device and restarts the status-rule
 * counters, the find results and the card clock; the call log is kept. */
NORVSIM_CONTROL_API int norvsim_load_scenario_json(const char *json);
NORVSIM_CONTROL_API int norvsim_load_scenario_file(const char *path);

/* The text of the last load error ("" after a successful load).  Owned by
 * the library, valid until the next load. */
NORVSIM_CONTROL_API const char *norvsim_last_error(void);

/* Back to the scenario the library started with (built-in, or the file named
 * by NORVSIM_SCENARIO), as after a load; the call log and last error cleared. */
NORVSIM_CONTROL_API void norvsim_reset(void);

/* Copies the call log (one line per NORV_ call, each ended by a line feed)
 * into buffer, cut to size - 1 bytes and zero-terminated.  Returns the full
 * length of the log, terminator excluded.  buffer may be NULL when size is 0. */
NORVSIM_CONTROL_API size_t norvsim_call_log(char *buffer, size_t size);
NORVSIM_CONTROL_API void norvsim_clear_log(void);

typedef int (*norvsim_load_scenario_json_fn)(const char *json);
typedef int (*norvsim_load_scenario_file_fn)(const char *path);
typedef const char *(*norvsim_last_error_fn)(void);
typedef void (*norvsim_reset_fn)(void);
typedef size_t (*norvsim_call_log_fn)(char *buffer, size_t size);
typedef void (*norvsim_clear_log_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* NORVSIM_CONTROL_H */
