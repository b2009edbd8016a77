#Formatver	3
#Hclass	motor1
#DParam 
	u`e	12
	ra`r	1
	b`r	0.0001
	la`i	0.01
	jm`i	0.001
	km`r	0.05
#DIncond
	ja`p[3].e_indep_state	0
	jc`p[2].e_indep_state	0
