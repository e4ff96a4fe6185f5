#pragma once
#include "RellmarkError.h"
#include "rellmark_global.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

struct RellmarkConnection;

// The owner of the program's one database connection. Record sets borrow it
// through clsDBRecord::setParentConnectClass.
class RELLMARK_EXPORT clsRellmark {
public:
    clsRellmark();
    ~clsRellmark();
    clsRellmark(const clsRellmark&) = delete;
    clsRellmark& operator=(const clsRellmark&) = delete;

    // Opens the database file, or the book on a PostgreSQL server when the
    // text is a postgresql:// address (see ServerAddress). A second call
    // while a connection object exists does nothing. Throws RellmarkError
    // when the book cannot be opened; the message names the file or the
    // server, never a password.
    void connect(const QString& str_FileName);
    // Closes and releases the connection; nothing happens without one.
    void DisConnect();
    // Opens the connection again to the same file or server (an unfinished
    // transaction is lost). Throws RellmarkError as connect does.
    void reconnect();
    // The first error of the last batch that failed on this connection, or
    // nullopt when it wrote.
    std::optional<RellmarkError> lastBatchError() const;
    // Runs one statement. Never throws: a failure is shown through the
    // message handler (critical, titled "Rellmark") and the call returns.
    void ExecQry(const QString& ssql);

    void setTempDirectoryPath(const QString& str_path);
    QString TempDirectoryPath() const;

    // Library-internal: the connection, or nullptr without one.
    RellmarkConnection* GetConnection() const;

    // The file, or the server's address without its password.
    QString dbFileName() const { return mDBFileName; }
    // Whether the book is on a server that other programs write at the same
    // time.
    bool isServer() const;

    // How the library shows the few messages it must show itself. The program
    // installs a handler that opens a message box; without one the text goes
    // to the debug log.
    enum class Icon { None, Critical };
    using MessageHandler = std::function<void(const QString& text, const QString& title, Icon)>;
    // Returns the handler it replaces, so that a caller can take the
    // messages for a while and then put the previous handler back.
    static MessageHandler setMessageHandler(MessageHandler handler);
    static void showMessage(const QString& text, Icon icon);

private:
    void connectServer(const QString& address);

    std::unique_ptr<RellmarkConnection> mConnection;
    QString mDBFileName;
    QString mOpenedWith; // what connect was given (a password included): for reconnect only
};
