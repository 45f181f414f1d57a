inherited Values: TDataModule
  Height = $20
  inline Db: TOvDatabase
    DatabaseName = 'It''s'#9'caf'#233' '#26085
    RemoteDatabase =
      'part one ' +
      'part two'
    ServerType = stPostgreSQL
    DesignOptions = [ddoIsDefaultDatabase, ddoStoreConnected]
    KeepConnection = False
  end
  object Q: TOvMacroQuery
    DatabaseName = 'It''s'
    SQL.Strings = (
      'select * from t where &w and id = :id'#13#10'order by 1')
    Params = <
      item
        Name = 'id'
        DataType = ftInteger
        ParamType = ptInput
        Value = -12
      end>
    Macros = <
      item
        Name = 'w'
        Value = '0=0'
      end>
  end
  object S: TDataSource
    DataSet = Q
  end
end
