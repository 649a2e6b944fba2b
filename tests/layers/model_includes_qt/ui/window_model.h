// A header of the toolkit-neutral window model.
#pragma once
