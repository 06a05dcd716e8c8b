// The preferences window: analysis and replace options, the network proxy
// and the automatic update schedule. What the pages show is written into
// the settings, saved and handed to the engine when the window closes.
// GUI thread only.
#pragma once

#include <QMainWindow>
#include <QWidget>

class CProxyCalls;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QEventLoop;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

// "General": which problems the analysis looks for ("Genernal") and which
// fields applying may overwrite ("Replace").
class CGeneralWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CGeneralWidget(QWidget* parent);  // loads the page
    void Save();

public slots:
    // 0 the master box was clicked, 1..5 a field box.
    void StateChanged(int id);

private:
    void build();
    void load();
    bool anyFieldChecked() const;
    void enableFields(bool enable);

    QCheckBox* m_pFix[4] = {};
    QCheckBox* m_pReplace = nullptr;
    QCheckBox* m_pField[5] = {};
};

// "Network": the proxy type, host, port, user name and password.
class CNetWidget : public QWidget
{
    Q_OBJECT
public:
    // link may be null; it is told when the proxy was saved.
    CNetWidget(CProxyCalls* link, QWidget* parent);
    void InitNet();
    void Save();

public slots:
    void CurrentIndex(int iIndex);

private:
    QComboBox* m_pType = nullptr;
    QLineEdit* m_pHost = nullptr;
    QLineEdit* m_pPort = nullptr;
    QLineEdit* m_pUser = nullptr;
    QLineEdit* m_pPassword = nullptr;
    CProxyCalls* m_pLink = nullptr;
};

// "Update": whether and how often the update check runs by itself.
class CUpdateWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CUpdateWidget(QWidget* parent);  // builds only; InitUpdate loads
    void InitUpdate();
    void SaveUpdate();

public slots:
    void AutoMaticUpdate(bool bUpdate);
    void normalDayFun();
    void everyDayFun();
    void everyWeekFun();
    void ereryMonthFun();

private:
    QCheckBox* m_pEnable = nullptr;
    QGroupBox* m_pGroup = nullptr;
    QSpinBox* m_pDays = nullptr;
    QRadioButton* m_pEveryDays = nullptr;
    QRadioButton* m_pEveryDay = nullptr;
    QRadioButton* m_pEveryWeek = nullptr;
    QRadioButton* m_pEveryMonth = nullptr;
};

class COption : public QMainWindow
{
    Q_OBJECT
public:
    COption(CProxyCalls* link, QWidget* parent, Qt::WindowFlags flags = Qt::WindowFlags());
    ~COption() override;
    // Shows the window and returns once it is closed (0).
    int exec();

public slots:
    void SaveOption();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolBar();
    void fixSize();

    CGeneralWidget* m_pGeneral = nullptr;
    CNetWidget* m_pNet = nullptr;
    CUpdateWidget* m_pUpdate = nullptr;
    QStackedWidget* m_pStack = nullptr;
    QActionGroup* m_pActions = nullptr;
    QEventLoop* m_pLoop = nullptr;
};
