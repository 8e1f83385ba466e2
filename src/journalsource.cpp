#include "journalsource.h"

JournalSource::~JournalSource() = default;
