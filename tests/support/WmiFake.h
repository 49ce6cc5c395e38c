// WMI as the tests want it: namespaces of objects held in memory, each change
// recorded, and changes refused with a cause when asked to. Wine's WMI has no
// root\subscription, so subscriptions are seen through the library's seam
// (kiv::WmiConnector); what Wine's WMI has is tested against it directly.
#pragma once

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "handlers/steps/WmiSubscriptions.h"

namespace kivtest {

class FakeWmi : public kiv::WmiConnector {
public:
    using Objects = std::vector<kiv::WmiObject>;

    kiv::Status Open(const std::wstring& name, std::unique_ptr<kiv::WmiNamespace>& opened) override {
        if (!m_namespaces.count(name)) return kiv::Status::Fail(0x8004100E);  // no such namespace
        opened.reset(new Namespace(*this, m_namespaces[name]));
        return kiv::Status::Ok();
    }

    // Adds a namespace below its parent, as WMI lists it there.
    Objects& AddNamespace(const std::wstring& name) {
        const size_t cut = name.rfind(L'\\');
        if (cut != std::wstring::npos) {
            const std::wstring child = name.substr(cut + 1);
            m_namespaces[name.substr(0, cut)].push_back(
                {L"__NAMESPACE", L"__NAMESPACE.Name=\"" + child + L"\"", {{L"Name", child}}});
        }
        return m_namespaces[name];
    }

    // A filter, a consumer and their binding, made in a namespace; the binding's path.
    std::wstring Subscribe(const std::wstring& ns, const kiv::WmiObject& filter, const kiv::WmiObject& consumer) {
        Objects& objects = m_namespaces[ns];
        objects.push_back(filter);
        objects.push_back(consumer);
        objects.push_back(Binding(filter, consumer));
        return objects.back().path;
    }

    static kiv::WmiObject Filter(const std::wstring& name) {
        return {L"__EventFilter",
                L"__EventFilter.Name=\"" + name + L"\"",
                {{L"Name", name},
                 {L"EventNamespace", L"root\\cimv2"},
                 {L"Query",
                  L"SELECT * FROM __InstanceModificationEvent WITHIN 60 WHERE TargetInstance ISA "
                  L"'Win32_PerfFormattedData_PerfOS_System'"},
                 {L"QueryLanguage", L"WQL"}}};
    }
    static kiv::WmiObject Consumer(const std::wstring& className, const std::wstring& name,
                                   std::vector<std::pair<std::wstring, std::wstring>> properties) {
        properties.insert(properties.begin(), {L"Name", name});
        return {className, className + L".Name=\"" + name + L"\"", properties};
    }
    static kiv::WmiObject Binding(const kiv::WmiObject& filter, const kiv::WmiObject& consumer) {
        auto escaped = [](const std::wstring& path) {
            std::wstring text;
            for (wchar_t c : path) text += c == L'"' ? L"\\\"" : std::wstring(1, c);
            return text;
        };
        return {L"__FilterToConsumerBinding",
                L"__FilterToConsumerBinding.Consumer=\"" + escaped(consumer.path) + L"\",Filter=\"" +
                    escaped(filter.path) + L"\"",
                {{L"Consumer", consumer.path}, {L"DeliverSynchronously", L"false"}, {L"Filter", filter.path}}};
    }

    // The object at a path of a namespace, or null.
    kiv::WmiObject* Find(const std::wstring& ns, const std::wstring& path) {
        for (kiv::WmiObject& object : m_namespaces[ns])
            if (object.path == path) return &object;
        return nullptr;
    }
    void Erase(const std::wstring& ns, const std::wstring& path) {
        Objects& objects = m_namespaces[ns];
        objects.erase(std::remove_if(objects.begin(), objects.end(),
                                     [&](const kiv::WmiObject& object) { return object.path == path; }),
                      objects.end());
    }

    std::map<std::wstring, Objects> m_namespaces;
    DWORD refuse = 0;          // every change is refused with this code
    std::wstring refuseClass;  // making an object of this class is refused
    std::wstring refuseQuery;  // this namespace cannot be queried

private:
    class Namespace : public kiv::WmiNamespace {
    public:
        Namespace(FakeWmi& owner, Objects& objects) : m_owner(owner), m_objects(objects) {}
        kiv::Status Query(const std::wstring& className, Objects& found) override {
            if (!m_owner.refuseQuery.empty() && &m_owner.m_namespaces[m_owner.refuseQuery] == &m_objects)
                return kiv::Status::Fail(ERROR_ACCESS_DENIED);
            for (const kiv::WmiObject& object : m_objects)
                if (object.className == className) found.push_back(object);
            return kiv::Status::Ok();
        }
        kiv::Status Get(const std::wstring& path, kiv::WmiObject& found) override {
            for (const kiv::WmiObject& object : m_objects)
                if (object.path == path) {
                    found = object;
                    return kiv::Status::Ok();
                }
            return kiv::Status::Fail(ERROR_FILE_NOT_FOUND);
        }
        kiv::Status Create(const kiv::WmiObject& object) override {
            if (m_owner.refuse) return kiv::Status::Fail(m_owner.refuse);
            if (object.className == m_owner.refuseClass) return kiv::Status::Fail(ERROR_ACCESS_DENIED);
            kiv::WmiObject there;
            if (Get(object.path, there)) return kiv::Status::Fail(ERROR_ALREADY_EXISTS);
            m_objects.push_back(object);
            return kiv::Status::Ok();
        }
        kiv::Status Delete(const std::wstring& path) override {
            if (m_owner.refuse) return kiv::Status::Fail(m_owner.refuse);
            const size_t before = m_objects.size();
            m_objects.erase(std::remove_if(m_objects.begin(), m_objects.end(),
                                           [&](const kiv::WmiObject& object) { return object.path == path; }),
                            m_objects.end());
            return before == m_objects.size() ? kiv::Status::Fail(ERROR_FILE_NOT_FOUND) : kiv::Status::Ok();
        }

    private:
        FakeWmi& m_owner;
        Objects& m_objects;
    };
};

}  // namespace kivtest
