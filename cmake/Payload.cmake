# The payload that BIOSUpdate.exe carries as resources of the type "File": the flash utility's
# files and the BIOS image. By default the build makes its own stand-ins (the flash utility from
# tools/flashstub, marked placeholders for the vendor's libraries and drivers, the demo image and
# the configuration file, written by tools/assets/generate_payload.py). BIOSUPDATE_VENDOR_PAYLOAD
# names a folder that holds the vendor's real files under their file names instead.
#
# Sets, for res/ and the tests:
#   BIOSUPDATE_PAYLOAD_ENTRIES       <resource symbol>=<file name> for every payload resource
#   BIOSUPDATE_PAYLOAD_DIR           folder whose files are embedded
#   BIOSUPDATE_DEFAULT_PAYLOAD_DIR   where the build writes its stand-ins (the stand-in flash
#                                    utility is always built there, for its own tests)
#   BIOSUPDATE_PAYLOAD_PLACEHOLDERS  file names the build writes as placeholders (empty with a
#                                    vendor payload)
set(BIOSUPDATE_VENDOR_PAYLOAD "" CACHE PATH
    "Folder with the vendor's flash utility files and BIOS image; empty for the built-in stand-ins")

# The help index (164) is never written out; its file is named after the index WinHelp keeps
# for the utility's help file.
set(BIOSUPDATE_PAYLOAD_ENTRIES
    IDR_FILE_SWINFLASH=SWinFlash.exe
    IDR_FILE_MFC42=mfc42.dll
    IDR_FILE_MSVCP60=msvcp60.dll
    IDR_FILE_MSVCRT=msvcrt.dll
    IDR_FILE_PHLASH_INI=PHLASH.INI
    IDR_FILE_PHLASHLC=PhlashLc.dll
    IDR_FILE_PHLASH9X=Phlash9X.vxd
    IDR_FILE_PHLASHNT=PhlashNT.sys
    IDR_FILE_BIOS_IMAGE=mirtsf13.imc
    IDR_FILE_HELP_INDEX=WINPHLASH.GID)

set(BIOSUPDATE_DEFAULT_PAYLOAD_DIR ${CMAKE_BINARY_DIR}/default-payload)

if(BIOSUPDATE_VENDOR_PAYLOAD)
    get_filename_component(BIOSUPDATE_PAYLOAD_DIR "${BIOSUPDATE_VENDOR_PAYLOAD}" ABSOLUTE)
    set(missing_payload_files "")
    foreach(entry IN LISTS BIOSUPDATE_PAYLOAD_ENTRIES)
        string(REGEX REPLACE "^[^=]*=" "" file_name "${entry}")
        if(NOT EXISTS "${BIOSUPDATE_PAYLOAD_DIR}/${file_name}"
           OR IS_DIRECTORY "${BIOSUPDATE_PAYLOAD_DIR}/${file_name}")
            list(APPEND missing_payload_files "${file_name}")
        endif()
    endforeach()
    if(missing_payload_files)
        list(JOIN missing_payload_files ", " missing_payload_text)
        message(FATAL_ERROR "BIOSUPDATE_VENDOR_PAYLOAD (${BIOSUPDATE_PAYLOAD_DIR}) lacks these "
                            "payload files: ${missing_payload_text}")
    endif()
    set(BIOSUPDATE_PAYLOAD_PLACEHOLDERS "")
else()
    set(BIOSUPDATE_PAYLOAD_DIR ${BIOSUPDATE_DEFAULT_PAYLOAD_DIR})
    set(BIOSUPDATE_PAYLOAD_PLACEHOLDERS mfc42.dll msvcp60.dll msvcrt.dll PhlashLc.dll Phlash9X.vxd
                                        PhlashNT.sys WINPHLASH.GID)
endif()

# A tests tree reads these from the product tree's cache to check what its executable carries.
set(BIOSUPDATE_EMBEDDED_PAYLOAD_DIR "${BIOSUPDATE_PAYLOAD_DIR}" CACHE INTERNAL
    "Folder whose files this tree embeds")
set(BIOSUPDATE_EMBEDDED_PLACEHOLDERS "${BIOSUPDATE_PAYLOAD_PLACEHOLDERS}" CACHE INTERNAL
    "Payload files this tree embeds as placeholders")
