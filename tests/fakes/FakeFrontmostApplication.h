#pragma once
// A settable focused application; activate() plays an activation notification.
#include "platform/FrontmostApplication.h"

class FakeFrontmostApplication : public FrontmostApplication
{
public:
    QString current;
    bool available = true;

    bool isAvailable() const override { return available; }
    QString frontmostApplicationId() override { return current; }
    void setActivationHandler(std::function<void(const QString&)> handler) override { m_handler = std::move(handler); }
    bool hasHandler() const { return bool(m_handler); }
    void activate(const QString& id)
    {
        current = id;
        if (m_handler)
            m_handler(id);
    }

private:
    std::function<void(const QString&)> m_handler;
};
