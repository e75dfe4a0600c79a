#pragma once
// The program's one connection to the sales database: a parameter list of
// "name=value" lines, opened on demand before any statement when closed.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database_client.h"

namespace kelvora::salesdb {

// What the connection tells its owner while opening (the busy pointer).
class IBusyIndicator {
public:
    virtual ~IBusyIndicator() = default;
    virtual void busyBegin() = 0;
    virtual void busyEnd() = 0;
};

// The fourteen lines the connection holds when created.
std::vector<std::string> builtInParameterList();
// The four lines of the connect operation, the database line carrying
// `location` unchanged.
std::vector<std::string> connectParameterList(const std::string& location);
// The values handed to the client, by the rules for each line.
OpenParams openParamsFromList(const std::vector<std::string>& list);

class SqlConnection {
public:
    explicit SqlConnection(std::unique_ptr<IDatabaseClient> client);

    std::function<void()> afterConnect;
    std::function<void()> afterDisconnect;
    void setBusyIndicator(IBusyIndicator* busy) { busy_ = busy; }

    const std::vector<std::string>& parameterList() const { return params_; }
    void setParameterList(std::vector<std::string> list) { params_ = std::move(list); }

    bool connected() const;
    // Throws DatabaseError; on success runs afterConnect.
    void open();
    // Closes open results and the attachment, then runs afterDisconnect. No-op when closed.
    void close() noexcept;

    // Open the connection first when closed, then run.
    std::unique_ptr<IResultRows> openQuery(const std::vector<std::string>& lines);
    void execute(const std::vector<std::string>& lines, const std::vector<ParamValue>& params);

private:
    // The client closes an attachment that the server lost; that closing is
    // told like any other, once.
    void noticeLostAttachment() noexcept;

    std::unique_ptr<IDatabaseClient> client_;
    std::vector<std::string> params_;
    IBusyIndicator* busy_ = nullptr;
    bool toldOpen_ = false;  // afterConnect ran since the last afterDisconnect
};

}  // namespace kelvora::salesdb
