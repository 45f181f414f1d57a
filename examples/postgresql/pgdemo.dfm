object PgDemoData: TDataModule
  object PgDemo: TOvDatabase
    DatabaseName = 'PgDemo'
    RemoteDatabase = '127.0.0.1:54329/ovtest'
    ServerType = stPostgreSQL
    Params.Strings = (
      'USER NAME=postgres')
    LoginPrompt = False
    Left = 40
    Top = 16
  end
  object qOrders: TOvQuery
    DatabaseName = 'PgDemo'
    UpdateObject = usOrders
    SQL.Strings = (
      'select cust_no, order_no, order_date, amount, invoice_code'
      'from orders')
    Left = 40
    Top = 72
  end
  object usOrders: TOvUpdateSQL
    Left = 128
    Top = 72
  end
  object spArchiveOrders: TOvStoredProc
    DatabaseName = 'PgDemo'
    StoredProcName = 'archive_orders'
    Left = 40
    Top = 128
  end
end
