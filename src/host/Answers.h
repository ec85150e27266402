#pragma once

#include "host/UserInterface.h"

#include <optional>
#include <string>

namespace drennow::host {

// Answers given in advance to the run's questions, found by the question's
// identity: what a host that has no person to ask (or that was told) takes
// instead of asking. Command-line options, and any other surface that runs
// without dialogs, fill this one record.
struct Answers {
    std::optional<bool> trailingZeros;
    std::optional<std::string> layer;
    std::optional<std::string> pfafField;
    std::optional<std::string> level;
    std::optional<bool> populatePfaf;
    std::optional<std::string> idField;
    std::optional<MessageAnswer> saveEdits;

    // The button that answers a Yes/No(/Cancel) question; nothing when no
    // answer was given for it.
    std::optional<MessageAnswer> ButtonFor(Prompt question) const
    {
        auto yesNo = [](const std::optional<bool>& yes) -> std::optional<MessageAnswer> {
            if (!yes) {
                return std::nullopt;
            }
            return *yes ? kAnswerYes : kAnswerNo;
        };
        switch (question) {
        case Prompt::TrailingZeros:
            return yesNo(trailingZeros);
        case Prompt::Populate:
            return yesNo(populatePfaf);
        case Prompt::SaveEdits:
            return saveEdits;
        default:
            return std::nullopt;
        }
    }

    // The text that answers an input box or a selection dialog.
    const std::optional<std::string>& TextFor(Prompt question) const
    {
        static const std::optional<std::string> none;
        switch (question) {
        case Prompt::Layer:
            return layer;
        case Prompt::PfafField:
            return pfafField;
        case Prompt::Level:
            return level;
        case Prompt::IdField:
            return idField;
        default:
            return none;
        }
    }
};

}  // namespace drennow::host
