// The worker thread with its hooks given as callbacks: start (an empty one counts as true), stop,
// time-out and item. The cleanup thread of the string cache is one.
#pragma once

#include <functional>
#include <utility>

#include "jxbase/CSvcThreadEx.h"

template <typename Item> class CSvcDelegateThreadEx : public CSvcThreadEx<Item> {
public:
    CSvcDelegateThreadEx(std::function<bool()> start, std::function<void()> stop,
                         std::function<void()> timeout, std::function<void(Item&)> item)
        : m_start(std::move(start)), m_stop(std::move(stop)), m_timeout(std::move(timeout)),
          m_item(std::move(item)) {}
    ~CSvcDelegateThreadEx() override { this->Stop(); }

protected:
    bool OnStart() override { return m_start ? m_start() : true; }
    void OnEnd() override {
        if (m_stop)
            m_stop();
    }
    void OnTimeout() override {
        if (m_timeout)
            m_timeout();
    }
    void ProcessItem(Item& item) override {
        if (m_item)
            m_item(item);
    }

private:
    std::function<bool()> m_start;
    std::function<void()> m_stop;
    std::function<void()> m_timeout;
    std::function<void(Item&)> m_item;
};
