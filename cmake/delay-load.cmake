# Delay-loaded system DLLs: the program links against import libraries whose functions are bound
# on their first call (the CRT's __delayLoadHelper2), not at process start, so that a start that
# never uses a DLL (the notice of a configured bundle, the scan window before its first probe)
# does not pay for loading it. The DLL is then loaded through LoadSystemLibrary (the hook in
# src/platform/system_library_win32.cpp), from the system folder only.
#
# orv_delay_load(OUT_VAR dll...) makes lib<dll>_delay.a for each DLL, from the names that the
# toolchain's own import library lib<dll>.a exports, and sets OUT_VAR to their paths. Link them
# before the ordinary import libraries: what a delay library lacks (data that an import library
# defines itself, such as in6addr_any) still comes from the ordinary one.
function(orv_delay_load out_var)
  set(tools ${ORV_MINGW_PROCESSOR}-w64-mingw32)
  find_program(ORV_NM ${tools}-nm REQUIRED)
  find_program(ORV_DLLTOOL ${tools}-dlltool REQUIRED)
  find_program(ORV_OBJCOPY ${tools}-objcopy REQUIRED)
  # 32-bit names carry the stdcall suffix (_socket@12) in the library, but the DLL exports them
  # undecorated: -k imports them by the undecorated name.
  #
  # The 32-bit linker also drops the code of an import library's member when nothing names its
  # function except through __imp_ (a jmp stub that a dllimport call does not need). In a delay
  # library that code is also the loading thunk that the import address table points at until the
  # first call, so the call would jump to address 0. Marked as data in a .text$ section, the
  # thunks are no longer taken for stubs and still land in the program's code.
  if(ORV_MINGW_PROCESSOR STREQUAL "i686")
    set(imp_prefix "__imp__")
    set(kill_at -k)
    set(keep_thunks ON)
  else()
    set(imp_prefix "__imp_")
    set(kill_at)
    set(keep_thunks OFF)
  endif()
  set(made)
  foreach(dll ${ARGN})
    find_library(ORV_IMPORT_LIB_${dll} NAMES lib${dll}.a REQUIRED)
    set(import_lib ${ORV_IMPORT_LIB_${dll}})
    set(def ${CMAKE_BINARY_DIR}/delay-load/${dll}.def)
    set(lib ${CMAKE_BINARY_DIR}/delay-load/lib${dll}_delay.a)
    # Made again where the import library or this recipe changed.
    if(NOT EXISTS ${lib} OR ${import_lib} IS_NEWER_THAN ${lib}
       OR ${CMAKE_CURRENT_FUNCTION_LIST_FILE} IS_NEWER_THAN ${lib})
      execute_process(COMMAND ${ORV_NM} -g --defined-only ${import_lib}
                      OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
      string(REGEX MATCHALL "[^\n]* ${imp_prefix}[^\n]*" lines "${symbols}")
      set(names)
      foreach(line ${lines})
        string(REGEX REPLACE ".* ${imp_prefix}" "" name "${line}")
        list(APPEND names "${name}")
      endforeach()
      list(REMOVE_DUPLICATES names)
      list(LENGTH names count)
      if(count EQUAL 0)
        message(FATAL_ERROR "${import_lib} names no function of ${dll}.dll")
      endif()
      list(JOIN names "\n  " exports)
      file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n  ${exports}\n")
      execute_process(COMMAND ${ORV_DLLTOOL} ${kill_at} --input-def ${def} --dllname ${dll}.dll
                              --output-delaylib ${lib}
                      COMMAND_ERROR_IS_FATAL ANY)
      if(keep_thunks)
        execute_process(COMMAND ${ORV_OBJCOPY} --rename-section
                                ".text=.text$delay,alloc,load,readonly,contents,data" ${lib}
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endif()
    list(APPEND made ${lib})
  endforeach()
  set(${out_var} ${made} PARENT_SCOPE)
endfunction()
