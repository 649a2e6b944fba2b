// A header of the Win32 front end.
#pragma once
