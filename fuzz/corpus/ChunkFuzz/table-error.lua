Update() error({})
