// A header of the Qt front end.
#pragma once
