#pragma once
// Sole owner of a WinHTTP handle (session, connection or request): the one owner template.
#include <windows.h>
#include <winhttp.h>

#include "threads/handle.h"
